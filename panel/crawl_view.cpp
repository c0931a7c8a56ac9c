// crawl_view.cpp: the crawl tab's controls, its circle, its tables.
#include "crawl_view.h"

#include <QDoubleSpinBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>

#include <cmath>
#include <numbers>

#include "analysis_json.h"
#include "analysis_plot.h"
#include "figure_texts.h"
#include "json_string.h"

namespace velkor {
namespace {

constexpr int MAX_CRAWL_RPM = 300;
constexpr double DEFAULT_REVOLUTIONS = 0.1;
constexpr int CIRCLE_POINTS = 180;
constexpr double REACH_MARGIN = 1.15;

constexpr const char* BIN_COLUMNS[] = {"Фаза", "Зад. A, мА", "Изм. A, мА", "Ошибка A, мА",
                                       "Зад. B, мА", "Изм. B, мА", "Ошибка B, мА", "Отсчётов A/B"};
constexpr const char* KEPT_COLUMNS[] = {"Прогон",           "Сглаживание", "Kp",          "KL",
                                        "Скорость, об/мин", "Пульсация, %", "У нуля, мА", "3-я A/B, %",
                                        "5-я A/B, %",       "Отсчётов"};

QTableWidget* MakeTable(const QStringList& columns, QWidget* parent) {
  auto* table = new QTableWidget(0, static_cast<int>(columns.size()), parent);
  table->setHorizontalHeaderLabels(columns);
  table->verticalHeader()->hide();
  table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  return table;
}

void SetCell(QTableWidget* table, int row, int column, const QString& text) {
  QTableWidgetItem* item = table->item(row, column);
  if (!item) {
    item = new QTableWidgetItem;
    if (column != 0) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    table->setItem(row, column, item);
  }
  if (item->text() != text) item->setText(text);
}

QString Pair(const std::optional<double>& a, const std::optional<double>& b) { return Number(a, 1) + " / " + Number(b, 1); }

QStringList Columns(const char* const* names, size_t count) {
  QStringList list;
  for (size_t i = 0; i < count; ++i) list << names[i];
  return list;
}

const ParameterState& Parameter(const Link& link, ParameterId id) { return link.parameters.parameters[Index(id)]; }

QString ParameterText(const Link& link, ParameterId id) {
  const ParameterState& s = Parameter(link, id);
  return s.known && s.reportedSinceReset ? QString::number(s.value) : QString::fromUtf8(UNKNOWN_TEXT);
}

QString SmoothingText(const Link& link) {
  const ParameterState& s = Parameter(link, ParameterId::Smoothing);
  if (!s.known || !s.reportedSinceReset) return QString::fromUtf8(UNKNOWN_TEXT);
  return s.value != 0 ? "вкл" : "выкл";
}

}  // namespace

CrawlView::CrawlView(Link& link, QWidget* parent) : MotionView(link, parent) {
  auto* layout = new QVBoxLayout(this);
  auto* settings = new QHBoxLayout;
  settings->addWidget(new QLabel("Скорость, об/мин:", this));
  rpm_ = new QSpinBox(this);
  rpm_->setRange(analysis::MIN_CRAWL_RPM, MAX_CRAWL_RPM);
  rpm_->setValue(analysis::MIN_CRAWL_RPM);
  settings->addWidget(rpm_);
  settings->addWidget(new QLabel("Ход, об:", this));
  travel_ = new QDoubleSpinBox(this);
  travel_->setRange(0.01, 100);
  travel_->setDecimals(2);
  travel_->setValue(DEFAULT_REVOLUTIONS);
  settings->addWidget(travel_);
  time_ = new QLabel(this);
  settings->addWidget(time_);
  auto* propose = new QPushButton("Предложить", this);
  propose->setToolTip("Скорость, при которой на каждый электрический период приходится не меньше 50 отсчётов, "
                      "и ход, за который каждая ячейка фазы получит несколько отсчётов.");
  connect(propose, &QPushButton::clicked, this, &CrawlView::Propose);
  settings->addWidget(propose);
  proposal_ = new QLabel(this);
  proposal_->setTextFormat(Qt::PlainText);
  settings->addWidget(proposal_, 1);
  start_ = new QPushButton("Пуск…", this);
  connect(start_, &QPushButton::clicked, this, &CrawlView::AskToStart);
  settings->addWidget(start_);
  layout->addLayout(settings);
  connect(rpm_, &QSpinBox::valueChanged, this, &CrawlView::ShowTime);
  connect(travel_, &QDoubleSpinBox::valueChanged, this, &CrawlView::ShowTime);

  status_ = new QLabel("Ползучий ход не запускался.", this);
  status_->setTextFormat(Qt::PlainText);
  layout->addWidget(status_);
  figures_ = new QLabel(this);
  figures_->setTextFormat(Qt::PlainText);
  figures_->setWordWrap(true);
  layout->addWidget(figures_);

  auto* split = new QSplitter(Qt::Horizontal, this);
  plot_ = new SquarePlot(split);
  plot_->xAxis->setLabel("Ток A, мА");
  plot_->yAxis->setLabel("Ток B, мА");
  plot_->setMinimumSize(320, 320);
  ideal_ = new QCPCurve(plot_->xAxis, plot_->yAxis);
  ideal_->setName("Идеальный круг заданных токов");
  ideal_->setPen(QPen(IDEAL_COLOUR, 2, Qt::DashLine));
  measured_ = new QCPCurve(plot_->xAxis, plot_->yAxis);
  measured_->setName("Измеренные A и B");
  measured_->setLineStyle(QCPCurve::lsNone);
  measured_->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssDisc, MEASURED_COLOUR, 3));
  plot_->legend->setVisible(true);
  plot_->axisRect()->insetLayout()->setInsetAlignment(0, Qt::AlignTop | Qt::AlignLeft);
  // Thousands of points: drawn plainly, they cost the window's thread, which
  // also serves the link, little.
  plot_->setNotAntialiasedElements(QCP::aeAll);
  StylePlot(plot_, palette());
  plot_->ShowReach(1000);
  bins_ = MakeTable(Columns(BIN_COLUMNS, std::size(BIN_COLUMNS)), split);
  split->addWidget(plot_);
  split->addWidget(bins_);
  split->setStretchFactor(0, 1);
  layout->addWidget(split, 1);

  auto* keptRow = new QHBoxLayout;
  keptRow->addWidget(new QLabel("Прогоны для сравнения (сглаживание, Kp и KL — как были при прогоне):", this));
  keptRow->addStretch();
  keep_ = new QPushButton("Оставить прогон для сравнения", this);
  connect(keep_, &QPushButton::clicked, this, &CrawlView::Keep);
  keptRow->addWidget(keep_);
  layout->addLayout(keptRow);
  kept_ = MakeTable(Columns(KEPT_COLUMNS, std::size(KEPT_COLUMNS)), this);
  kept_->setMaximumHeight(6 * fontMetrics().height() + kept_->horizontalHeader()->sizeHint().height());
  layout->addWidget(kept_);
  ShowTime();
  ShowButtons();
}

CrawlView::~CrawlView() = default;

void CrawlView::SetReadingRate(std::optional<double> ratePerSecond) {
  rate_ = ratePerSecond;
  const auto proposal = rate_ ? analysis::ProposeCrawl(*rate_, static_cast<int>(link_.values.stepDivision)) : std::nullopt;
  if (!proposal) {
    proposal_->setText("Предложение: нет данных о частоте отсчётов или делении шага.");
  } else if (!proposal->enoughReadings) {
    proposal_->setText(QString("Предложение: %1 об/мин, но и так на период лишь %2 отсчётов (нужно 50).")
                           .arg(proposal->rpm)
                           .arg(proposal->readingsPerPeriod, 0, 'f', 0));
  } else {
    proposal_->setText(QString("Предложение: %1 об/мин (%2 отсчётов на период).")
                           .arg(proposal->rpm)
                           .arg(proposal->readingsPerPeriod, 0, 'f', 0));
  }
}

void CrawlView::Propose() {
  const auto proposal = rate_ ? analysis::ProposeCrawl(*rate_, static_cast<int>(link_.values.stepDivision)) : std::nullopt;
  if (!proposal) return;
  rpm_->setValue(proposal->rpm);
  const double stepsPerRevolution = analysis::FULL_STEPS_PER_REVOLUTION * link_.values.stepDivision;
  travel_->setValue(proposal->travelSteps / stepsPerRevolution);
}

double CrawlView::Seconds() const { return CrawlSecondsFor(static_cast<int16_t>(rpm_->value()), travel_->value()); }

void CrawlView::ShowTime() { time_->setText(QString("≈ %1 с").arg(Seconds(), 0, 'f', 1)); }

void CrawlView::AskToStart() {
  ConfirmMotion(QString("Двигатель будет вращаться со скоростью %1 об/мин около %2 с (ход %3 об), "
                        "затем остановится сам.")
                    .arg(rpm_->value())
                    .arg(Seconds(), 0, 'f', 1)
                    .arg(travel_->value()),
                [this] { Begin(); });
}

void CrawlView::Begin() {
  if (run_ && run_->End() == RunEnd::Finished) lastComplete_ = Complete{LabelText(), run_->Plan().rpm, run_->Figures()};
  label_ = {QString::number(++runs_), SmoothingText(link_), ParameterText(link_, ParameterId::ProportionalK),
            ParameterText(link_, ParameterId::LevelingK)};
  run_ = std::make_unique<CrawlRun>(link_);
  run_->Start({.rpm = static_cast<int16_t>(rpm_->value()), .seconds = Seconds(), .right = true}, LinkNow(link_));
  shownPoints_ = -1;
  ShowFigures();
  ShowButtons();
  if (Running()) emit Started();
}

bool CrawlView::Running() const { return run_ && run_->Running(); }

void CrawlView::Step(double now) {
  if (!run_) return;
  const bool wasRunning = run_->Running();
  run_->Step(now);
  if (wasRunning && !run_->Running()) {
    ShowFigures();
    ShowButtons();
    emit Ended();
  }
}

void CrawlView::Refresh() {
  if (Running()) ShowFigures();
}

void CrawlView::Stop(double now) {
  if (run_) run_->Stop(now);
}

void CrawlView::ShowButtons() {
  start_->setEnabled(startAllowed_ && !Running());
  keep_->setEnabled(run_ && !Running());
}

void CrawlView::ShowFigures() {
  if (!run_) return;
  const analysis::CrawlFigures f = run_->Figures();
  status_->setText(QString("Ползучий ход %1 об/мин: %2.").arg(run_->Plan().rpm).arg(RunEndText(run_->End())));
  figures_->setText(QString("Пульсация длины вектора: %1 %.  Ошибка у перехода через ноль: %2 мА (%3 %).  "
                            "3-я гармоника A/B: %4 %.  5-я гармоника A/B: %5 %.  Основа: %6.")
                        .arg(Number(f.ripplePercent, 1), Number(f.zeroCrossingErrorMa, 1),
                             Number(f.zeroCrossingErrorPercent, 1), Pair(f.harmonic3PercentA, f.harmonic3PercentB),
                             Pair(f.harmonic5PercentA, f.harmonic5PercentB), BasisText(f.basis)));
  // The points only grow during a run: only the new ones are added.
  if (shownPoints_ < 0) {
    measured_->data()->clear();
    shownPoints_ = 0;
  }
  for (size_t i = static_cast<size_t>(shownPoints_); i < f.points.size(); ++i)
    measured_->addData(static_cast<double>(i), f.points[i].a, f.points[i].b);
  shownPoints_ = static_cast<int>(f.points.size());
  QVector<double> t, x, y;
  const double radius = f.idealRadiusMa.value_or(0);
  for (int i = 0; i <= CIRCLE_POINTS && radius > 0; ++i) {
    const double angle = 2 * std::numbers::pi * i / CIRCLE_POINTS;
    t << i;
    x << radius * std::cos(angle);
    y << radius * std::sin(angle);
  }
  ideal_->setData(t, x, y);
  double reach = radius;
  for (const analysis::CrawlPoint& p : f.points) reach = std::max({reach, std::abs(1.0 * p.a), std::abs(1.0 * p.b)});
  plot_->ShowReach(reach > 0 ? reach * REACH_MARGIN : 1000);
  plot_->replot(QCustomPlot::rpQueuedReplot);

  bins_->setRowCount(static_cast<int>(f.bins.size()));
  for (size_t i = 0; i < f.bins.size(); ++i) {
    const analysis::CrawlBin& b = f.bins[i];
    const int row = static_cast<int>(i);
    SetCell(bins_, row, 0, QString::number(i));
    SetCell(bins_, row, 1, Number(b.setA, 0));
    SetCell(bins_, row, 2, Number(b.measuredA, 0));
    SetCell(bins_, row, 3, Number(b.errorA, 1));
    SetCell(bins_, row, 4, Number(b.setB, 0));
    SetCell(bins_, row, 5, Number(b.measuredB, 0));
    SetCell(bins_, row, 6, Number(b.errorB, 1));
    SetCell(bins_, row, 7, QString("%1/%2").arg(b.readingsA).arg(b.readingsB));
  }
}

QString CrawlView::LabelText() const {
  return QString("%1 (сглаживание %2, Kp %3, KL %4)").arg(label_.number, label_.smoothing, label_.kp, label_.kl);
}

QStringList CrawlView::FigureCells() const {
  const analysis::CrawlFigures f = run_->Figures();
  return {label_.number,
          label_.smoothing,
          label_.kp,
          label_.kl,
          QString::number(run_->Plan().rpm),
          Number(f.ripplePercent, 1),
          Number(f.zeroCrossingErrorMa, 1),
          Pair(f.harmonic3PercentA, f.harmonic3PercentB),
          Pair(f.harmonic5PercentA, f.harmonic5PercentB),
          QString::number(f.basis.readings)};
}

void CrawlView::Keep() {
  if (!run_ || Running()) return;
  const QStringList cells = FigureCells();
  const int row = kept_->rowCount();
  kept_->setRowCount(row + 1);
  for (int c = 0; c < cells.size(); ++c) SetCell(kept_, row, c, cells[c]);
  keptRuns_.push_back({cells, "{\"label\": " + JsonString(LabelText().toStdString()) +
                                  ", \"figures\": " + analysis::CrawlJson(run_->Figures()) + "}"});
  keep_->setEnabled(false);  // once
}

void CrawlView::AddToReport(AnalysisReport& report, std::vector<std::string>& json) const {
  if (run_) {
    // A run that measured nothing is named with its end; the figures are
    // then the last complete run's, under its own label.
    const bool none = run_->End() != RunEnd::Finished && run_->Figures().basis.readings == 0 && lastComplete_;
    const analysis::CrawlFigures f = none ? lastComplete_->figures : run_->Figures();
    const QString label = none ? lastComplete_->label : LabelText();
    const int16_t rpm = none ? lastComplete_->rpm : run_->Plan().rpm;
    ReportTable figures{.title = "Ползучий ход: прогон " + label, .columns = {"Показатель", "Значение"}, .rows = {}};
    if (none) figures.rows.push_back({"Последний прогон " + LabelText(), RunEndText(run_->End())});
    figures.rows.push_back({"Скорость, об/мин", QString::number(rpm)});
    figures.rows.push_back({"Итог", none ? RunEndText(RunEnd::Finished) : RunEndText(run_->End())});
    figures.rows.push_back({TextOf(Figure::Ripple).name, Number(f.ripplePercent, 1)});
    figures.rows.push_back({TextOf(Figure::ZeroCrossingError).name, Number(f.zeroCrossingErrorMa, 1)});
    figures.rows.push_back({TextOf(Figure::Harmonic3).name + QString(" A/B"), Pair(f.harmonic3PercentA, f.harmonic3PercentB)});
    figures.rows.push_back({TextOf(Figure::Harmonic5).name + QString(" A/B"), Pair(f.harmonic5PercentA, f.harmonic5PercentB)});
    figures.rows.push_back({"Основа", BasisText(f.basis)});
    report.tables.push_back(figures);
    if (!none) {
      ReportTable bins{.title = "Ползучий ход: по микрошагам", .columns = Columns(BIN_COLUMNS, std::size(BIN_COLUMNS)), .rows = {}};
      for (int row = 0; row < bins_->rowCount(); ++row) {
        QStringList cells;
        for (int c = 0; c < bins_->columnCount(); ++c) cells << bins_->item(row, c)->text();
        bins.rows.push_back(cells);
      }
      report.tables.push_back(bins);
      report.plots.push_back({"Ползучий ход: измеренный ток A против B и идеальный круг", plot_});
    }
    json.push_back("\"crawl\": {\"label\": " + JsonString(label.toStdString()) + ", \"rpm\": " + std::to_string(rpm) +
                   ", \"figures\": " + analysis::CrawlJson(f) +
                   (none ? ", \"lastRun\": {\"label\": " + JsonString(LabelText().toStdString()) + ", \"end\": " +
                               JsonString(RunEndEnglish(run_->End())) + "}"
                         : std::string()) +
                   "}");
  }
  if (!keptRuns_.empty()) {
    ReportTable kept{.title = "Сравнение прогонов", .columns = Columns(KEPT_COLUMNS, std::size(KEPT_COLUMNS)), .rows = {}};
    std::string runs;
    for (const KeptCrawl& k : keptRuns_) {
      kept.rows.push_back(k.cells);
      runs += (runs.empty() ? "" : ", ") + k.json;
    }
    report.tables.push_back(kept);
    json.push_back("\"keptCrawls\": [" + runs + "]");
  }
}

}  // namespace velkor
