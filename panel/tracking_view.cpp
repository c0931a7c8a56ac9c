// tracking_view.cpp: the settings row, the figures table and its hints.
#include "tracking_view.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QDoubleValidator>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QTableWidget>
#include <QVBoxLayout>

#include <array>

#include "figure_texts.h"

namespace velkor {
namespace {

using analysis::MotionState;
using analysis::TrackingFigures;
using analysis::Winding;

enum Column { COL_NAME, COL_A, COL_B, COL_GOOD, COLUMN_COUNT };

// The rows in order: a winding's figures, what they rest on, then the
// figures of both windings and what those rest on.
enum Row {
  ROW_BIAS,
  ROW_RMS,
  ROW_P95,
  ROW_MAX,
  ROW_OUTSIDE,
  ROW_RATIO,
  ROW_WINDING_BASIS,
  ROW_IMBALANCE,
  ROW_NEAR_CEILING,
  ROW_LOST_SHARE,
  ROW_LOST,
  ROW_LOSS_SPEED,
  ROW_HELD_SPEED,
  ROW_CEILING,
  ROW_BOTH_BASIS,
  ROW_COUNT
};

struct RowText {
  Row row;
  Figure figure;
};
constexpr std::array<RowText, 13> FIGURE_ROWS{{
    {ROW_BIAS, Figure::Bias},
    {ROW_RMS, Figure::RmsError},
    {ROW_P95, Figure::P95Error},
    {ROW_MAX, Figure::MaxError},
    {ROW_OUTSIDE, Figure::OutsideTolerance},
    {ROW_RATIO, Figure::Ratio},
    {ROW_IMBALANCE, Figure::Imbalance},
    {ROW_NEAR_CEILING, Figure::NearCeiling},
    {ROW_LOST_SHARE, Figure::RegulationLostShare},
    {ROW_LOST, Figure::RegulationLost},
    {ROW_LOSS_SPEED, Figure::LossSpeed},
    {ROW_HELD_SPEED, Figure::HeldSpeed},
    {ROW_CEILING, Figure::Ceiling},
}};

constexpr const char* BASIS_NAME = "Основа: отсчёты, частота, потери";
constexpr const char* BASIS_HINT =
    "На скольких отсчётах стоит показатель, с какой частотой они шли и сколько их потеряно (пропуски, "
    "плохие кадры, сбросы связи). Показатель на малом числе отсчётов или с большими потерями ненадёжен.";

// The motion states the operator can pick; none: every reading.
constexpr const char* STATE_NAMES[] = {"Все отсчёты", "Удержание", "Разгон и торможение", "Постоянная скорость"};

const TrackingFigures& Pick(const analysis::WindingFigures& w, int state) {
  return state == 0 ? w.all : w.byState[static_cast<size_t>(state - 1)];
}

}  // namespace

TrackingView::TrackingView(analysis::CurrentTracker& tracker, QWidget* parent) : QWidget(parent), tracker_(tracker) {
  auto* layout = new QVBoxLayout(this);
  auto* settings = new QHBoxLayout;
  const auto spin = [&](const QString& label, double min, double max, double value, int decimals) {
    settings->addWidget(new QLabel(label, this));
    auto* box = new QDoubleSpinBox(this);
    box->setRange(min, max);
    box->setDecimals(decimals);
    box->setValue(value);
    box->setKeyboardTracking(false);  // a half-typed number would empty the window
    connect(box, &QDoubleSpinBox::valueChanged, this, &TrackingView::ApplySettings);
    settings->addWidget(box);
    return box;
  };
  const analysis::TrackerSettings& now = tracker_.Settings();
  window_ = spin("Окно, с:", analysis::MIN_WINDOW_SECONDS, analysis::MAX_WINDOW_SECONDS, now.windowSeconds, 1);
  percent_ = spin("Допуск ± %:", 0, 100, now.tolerance.percent, 1);
  milliamperes_ = spin("или ± мА:", 0, 5000, now.tolerance.milliamperes, 0);
  settings->addWidget(new QLabel("Полная шкала ШИМ:", this));
  fullScale_ = new QLineEdit(this);
  fullScale_->setPlaceholderText("неизвестна");
  fullScale_->setValidator(new QDoubleValidator(1, 1e6, 1, fullScale_));
  fullScale_->setToolTip("Если шкала ШИМ привода известна, укажите её; иначе потолок ищется по данным.");
  connect(fullScale_, &QLineEdit::editingFinished, this, &TrackingView::ApplySettings);
  settings->addWidget(fullScale_);
  state_ = new QComboBox(this);
  for (const char* name : STATE_NAMES) state_->addItem(name);
  settings->addWidget(state_);
  settings->addStretch();
  layout->addLayout(settings);

  table_ = new QTableWidget(ROW_COUNT, COLUMN_COUNT, this);
  table_->setHorizontalHeaderLabels({"Показатель", "Обмотка A", "Обмотка B", "Хорошо"});
  table_->verticalHeader()->hide();
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::SingleSelection);
  for (int row = 0; row < ROW_COUNT; ++row)
    for (int column = 0; column < COLUMN_COUNT; ++column) {
      auto* item = new QTableWidgetItem;
      if (column == COL_A || column == COL_B) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
      table_->setItem(row, column, item);
    }
  const auto name = [&](int row, const QString& text, const QString& good, const QString& hint) {
    table_->item(row, COL_NAME)->setText(text);
    table_->item(row, COL_GOOD)->setText(good);
    for (int column = 0; column < COLUMN_COUNT; ++column) table_->item(row, column)->setToolTip(hint);
  };
  for (const RowText& r : FIGURE_ROWS) {
    const FigureText& t = TextOf(r.figure);
    name(r.row, t.name, t.good, t.howToRead);
  }
  name(ROW_WINDING_BASIS, BASIS_NAME, "", BASIS_HINT);
  name(ROW_BOTH_BASIS, BASIS_NAME, "", BASIS_HINT);
  // The figures of both windings take both columns.
  for (int row = ROW_IMBALANCE; row < ROW_COUNT; ++row) table_->setSpan(row, COL_A, 1, 2);
  table_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  table_->horizontalHeader()->setSectionResizeMode(COL_GOOD, QHeaderView::Stretch);
  table_->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  layout->addWidget(table_, 1);

  howToRead_ = new QLabel(this);
  howToRead_->setTextFormat(Qt::PlainText);
  howToRead_->setWordWrap(true);
  howToRead_->setMinimumHeight(3 * fontMetrics().height());
  howToRead_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  layout->addWidget(howToRead_);
  connect(table_, &QTableWidget::currentCellChanged, this, [this](int row) { Explain(row); });
  Explain(ROW_BIAS);
}

void TrackingView::Explain(int row) {
  if (row < 0) return;
  howToRead_->setText("Как читать. " + table_->item(row, COL_NAME)->text() + ": " +
                      table_->item(row, COL_NAME)->toolTip());
}

void TrackingView::ApplySettings() {
  analysis::TrackerSettings settings = tracker_.Settings();
  settings.windowSeconds = window_->value();
  settings.tolerance.percent = percent_->value();
  settings.tolerance.milliamperes = milliamperes_->value();
  bool number = false;
  const double scale = fullScale_->text().toDouble(&number);
  settings.pwmFullScale = number && scale > 0 ? std::optional<double>(scale) : std::nullopt;
  tracker_.Configure(settings);
}

void TrackingView::SetRow(int row, const QString& a, const QString& b) {
  if (table_->item(row, COL_A)->text() != a) table_->item(row, COL_A)->setText(a);
  if (table_->item(row, COL_B)->text() != b) table_->item(row, COL_B)->setText(b);
}

void TrackingView::Show(const analysis::TrackerFigures& figures) {
  const int state = state_->currentIndex();
  const TrackingFigures& a = Pick(figures.windings[static_cast<size_t>(Winding::A)], state);
  const TrackingFigures& b = Pick(figures.windings[static_cast<size_t>(Winding::B)], state);
  SetRow(ROW_BIAS, Number(a.biasMa, 1), Number(b.biasMa, 1));
  SetRow(ROW_RMS, Number(a.rmsErrorMa, 1), Number(b.rmsErrorMa, 1));
  SetRow(ROW_P95, Number(a.p95ErrorMa, 1), Number(b.p95ErrorMa, 1));
  SetRow(ROW_MAX, Number(a.maxErrorMa, 1), Number(b.maxErrorMa, 1));
  SetRow(ROW_OUTSIDE, Number(a.outsideTolerancePercent, 1), Number(b.outsideTolerancePercent, 1));
  SetRow(ROW_RATIO, Number(a.ratio, 3), Number(b.ratio, 3));
  SetRow(ROW_WINDING_BASIS, BasisText(a.basis), BasisText(b.basis));
  const analysis::HeadroomFigures& h = figures.headroom;
  SetRow(ROW_IMBALANCE, Number(figures.imbalance.percent, 1), {});
  SetRow(ROW_NEAR_CEILING, Number(h.nearCeilingPercent, 1), {});
  SetRow(ROW_LOST_SHARE, Number(h.lostPercent, 1), {});
  SetRow(ROW_LOST, YesNo(h.regulationLost), {});
  SetRow(ROW_LOSS_SPEED, Number(h.lossSpeedRpm, 0), {});
  SetRow(ROW_HELD_SPEED, Number(h.heldSpeedRpm, 0), {});
  SetRow(ROW_CEILING, CeilingText(h.ceiling), {});
  SetRow(ROW_BOTH_BASIS, BasisText(h.basis), {});
}

ReportTable TrackingView::Table() const {
  ReportTable table{.title = "Слежение за током: " + state_->currentText() + QString(", окно %1 с").arg(window_->value()),
                    .columns = {"Показатель", "A", "B"},
                    .rows = {}};
  for (int row = 0; row < ROW_COUNT; ++row) {
    const bool both = row >= ROW_IMBALANCE;
    table.rows.push_back({table_->item(row, COL_NAME)->text(),
                          table_->item(row, COL_A)->text(),
                          both ? QString("(обе)") : table_->item(row, COL_B)->text()});
  }
  return table;
}

}  // namespace velkor
