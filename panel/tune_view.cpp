// tune_view.cpp: the auto-tuning tab's steps, its comparison and its decision.
#include "tune_view.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>

#include <array>

#include "analysis_json.h"
#include "analysis_plot.h"
#include "figure_texts.h"
#include "profile_apply_text.h"

namespace velkor {
namespace {

using analysis::Winding;

constexpr double STANDSTILL_SECONDS = 2;
constexpr double CRAWL_SECONDS = 3;
constexpr int MAX_TUNE_CRAWL_RPM = 60;
enum Column { COL_NAME, COL_BEFORE, COL_AFTER, COL_GOOD, COLUMN_COUNT };

QString PhaseText(TunePhase phase) {
  switch (phase) {
    case TunePhase::Idle: return "не запускалась";
    case TunePhase::Before: return "измерение до подстройки (удержание, затем ползучий ход)";
    case TunePhase::Tuning: return "привод выполняет «Автоподстройку тока»";
    case TunePhase::After: return "измерение после подстройки";
    case TunePhase::Deciding: return "измерено: оставьте новые Kp и KL или верните прежние";
    case TunePhase::Saving: return "запись в EEPROM: ждём подтверждения привода";
    case TunePhase::Reverting: return "возврат прежних параметров: ждём, пока привод сообщит каждый";
    case TunePhase::Over: return "завершена";
  }
  return {};
}

QString DecisionText(const TuneRun& run) {
  switch (run.Decision()) {
    case TuneDecision::None: return {};
    case TuneDecision::Kept: return "Новые Kp и KL оставлены; запись в EEPROM приводом не подтверждена.";
    case TuneDecision::Saved: return "Новые Kp и KL оставлены и записаны в EEPROM: привод подтвердил запись.";
    case TuneDecision::Reverted: return "Прежние параметры возвращены: привод сообщил каждый из них.";
    case TuneDecision::RevertMismatch:
      return "Прежние параметры вернуть не удалось: " +
             QString::fromStdString(ApplyOutcomeText(run.RevertApply(), Language::Russian));
  }
  return {};
}

// One row of the comparison: a figure of a measurement, before and after.
struct Row {
  const char* name;
  const char* good;
  QString (*value)(const TuneMeasure&);
};

const analysis::TrackingFigures& Still(const TuneMeasure& m, Winding w) {
  return m.standstill.windings[static_cast<size_t>(w)].all;
}

const std::array<Row, 14> ROWS{{
    {"Удержание: СКО ошибки A, мА", "малая доля тока", [](const TuneMeasure& m) { return Number(Still(m, Winding::A).rmsErrorMa, 1); }},
    {"Удержание: СКО ошибки B, мА", "малая доля тока", [](const TuneMeasure& m) { return Number(Still(m, Winding::B).rmsErrorMa, 1); }},
    {"Удержание: смещение A, мА", "около 0", [](const TuneMeasure& m) { return Number(Still(m, Winding::A).biasMa, 1); }},
    {"Удержание: смещение B, мА", "около 0", [](const TuneMeasure& m) { return Number(Still(m, Winding::B).biasMa, 1); }},
    {"Удержание: отношение A", "0,95…1,05", [](const TuneMeasure& m) { return Number(Still(m, Winding::A).ratio, 3); }},
    {"Удержание: отношение B", "0,95…1,05", [](const TuneMeasure& m) { return Number(Still(m, Winding::B).ratio, 3); }},
    {"Удержание: основа", "", [](const TuneMeasure& m) { return BasisText(Still(m, Winding::A).basis); }},
    {"Ползучий ход: пульсация, %", "меньше 5 %", [](const TuneMeasure& m) { return Number(m.crawl.ripplePercent, 1); }},
    {"Ползучий ход: ошибка у нуля, мА", "около 0", [](const TuneMeasure& m) { return Number(m.crawl.zeroCrossingErrorMa, 1); }},
    {"Ползучий ход: 3-я гармоника A, %", "меньше 2 %", [](const TuneMeasure& m) { return Number(m.crawl.harmonic3PercentA, 1); }},
    {"Ползучий ход: 3-я гармоника B, %", "меньше 2 %", [](const TuneMeasure& m) { return Number(m.crawl.harmonic3PercentB, 1); }},
    {"Ползучий ход: 5-я гармоника A, %", "меньше 2 %", [](const TuneMeasure& m) { return Number(m.crawl.harmonic5PercentA, 1); }},
    {"Ползучий ход: 5-я гармоника B, %", "меньше 2 %", [](const TuneMeasure& m) { return Number(m.crawl.harmonic5PercentB, 1); }},
    {"Ползучий ход: основа", "", [](const TuneMeasure& m) { return BasisText(m.crawl.basis); }},
}};
// Kp and KL come first, then the rows above.
constexpr int FIRST_MEASURE_ROW = 2;

void SetCell(QTableWidget* table, int row, int column, const QString& text) {
  QTableWidgetItem* item = table->item(row, column);
  if (item->text() != text) item->setText(text);
}

void ShowPoints(QCPCurve* curve, const analysis::CrawlFigures& crawl) {
  curve->data()->clear();
  for (size_t i = 0; i < crawl.points.size(); ++i) curve->addData(static_cast<double>(i), crawl.points[i].a, crawl.points[i].b);
}

}  // namespace

TuneView::TuneView(Link& link, QWidget* parent) : MotionView(link, parent) {
  auto* layout = new QVBoxLayout(this);
  auto* settings = new QHBoxLayout;
  settings->addWidget(new QLabel("Скорость ползучего хода для измерений, об/мин:", this));
  rpm_ = new QSpinBox(this);
  rpm_->setRange(1, MAX_TUNE_CRAWL_RPM);
  rpm_->setValue(1);
  settings->addWidget(rpm_);
  settings->addStretch();
  start_ = new QPushButton("Начать…", this);
  connect(start_, &QPushButton::clicked, this, &TuneView::AskToStart);
  settings->addWidget(start_);
  layout->addLayout(settings);

  status_ = new QLabel("Автоподстройка: " + PhaseText(TunePhase::Idle) + ".", this);
  status_->setTextFormat(Qt::PlainText);
  status_->setWordWrap(true);
  layout->addWidget(status_);

  auto* split = new QSplitter(Qt::Horizontal, this);
  table_ = new QTableWidget(FIRST_MEASURE_ROW + static_cast<int>(ROWS.size()), COLUMN_COUNT, split);
  table_->setHorizontalHeaderLabels({"Показатель", "До", "После", "Хорошо"});
  table_->verticalHeader()->hide();
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  for (int row = 0; row < table_->rowCount(); ++row)
    for (int column = 0; column < COLUMN_COUNT; ++column) {
      auto* item = new QTableWidgetItem(column == COL_BEFORE || column == COL_AFTER ? QString::fromUtf8(UNKNOWN_TEXT) : "");
      if (column == COL_BEFORE || column == COL_AFTER) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
      table_->setItem(row, column, item);
    }
  table_->item(0, COL_NAME)->setText("Kp");
  table_->item(1, COL_NAME)->setText("KL");
  for (size_t i = 0; i < ROWS.size(); ++i) {
    table_->item(FIRST_MEASURE_ROW + static_cast<int>(i), COL_NAME)->setText(ROWS[i].name);
    table_->item(FIRST_MEASURE_ROW + static_cast<int>(i), COL_GOOD)->setText(ROWS[i].good);
  }
  // Before and after share what the names leave, side by side; a long basis wraps.
  table_->setWordWrap(true);
  table_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  table_->horizontalHeader()->setSectionResizeMode(COL_BEFORE, QHeaderView::Stretch);
  table_->horizontalHeader()->setSectionResizeMode(COL_AFTER, QHeaderView::Stretch);
  table_->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  plot_ = new SquarePlot(split);
  plot_->setMinimumSize(300, 300);
  plot_->xAxis->setLabel("Ток A, мА");
  plot_->yAxis->setLabel("Ток B, мА");
  before_ = new QCPCurve(plot_->xAxis, plot_->yAxis);
  before_->setName("До подстройки");
  before_->setLineStyle(QCPCurve::lsNone);
  before_->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssDisc, SECOND_COLOUR, 3));
  after_ = new QCPCurve(plot_->xAxis, plot_->yAxis);
  after_->setName("После подстройки");
  after_->setLineStyle(QCPCurve::lsNone);
  after_->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssDisc, MEASURED_COLOUR, 3));
  plot_->legend->setVisible(true);
  plot_->axisRect()->insetLayout()->setInsetAlignment(0, Qt::AlignTop | Qt::AlignLeft);
  plot_->setNotAntialiasedElements(QCP::aeAll);
  StylePlot(plot_, palette());
  plot_->ShowReach(1000);
  split->addWidget(table_);
  split->addWidget(plot_);
  split->setStretchFactor(0, 3);
  split->setStretchFactor(1, 2);
  layout->addWidget(split, 1);

  auto* decide = new QHBoxLayout;
  outcome_ = new QLabel(this);
  outcome_->setTextFormat(Qt::PlainText);
  outcome_->setWordWrap(true);
  decide->addWidget(outcome_, 1);
  keep_ = new QPushButton("Оставить и записать в EEPROM", this);
  connect(keep_, &QPushButton::clicked, this, &TuneView::KeepAndSave);
  decide->addWidget(keep_);
  revert_ = new QPushButton("Вернуть прежние", this);
  connect(revert_, &QPushButton::clicked, this, &TuneView::Revert);
  decide->addWidget(revert_);
  layout->addLayout(decide);
  ShowButtons();
}

TuneView::~TuneView() = default;

void TuneView::AskToStart() {
  ConfirmMotion(QString("Будет сохранён снимок параметров привода. Затем: измерение на удержании (%1 с) и "
                        "ползучий ход %2 об/мин (%3 с); «Автоподстройка тока» привода; то же измерение снова. "
                        "После этого вы решите, оставить новые Kp и KL или вернуть прежние.")
                    .arg(STANDSTILL_SECONDS, 0, 'f', 0)
                    .arg(rpm_->value())
                    .arg(CRAWL_SECONDS, 0, 'f', 0),
                [this] { Begin(); });
}

void TuneView::Begin() {
  run_ = std::make_unique<TuneRun>(link_);
  run_->Start({.standstillSeconds = STANDSTILL_SECONDS,
               .crawlRpm = static_cast<int16_t>(rpm_->value()),
               .crawlSeconds = CRAWL_SECONDS,
               .right = true},
              LinkNow(link_));
  shownPhase_ = TunePhase::Idle;
  before_->data()->clear();
  after_->data()->clear();
  ShowFigures();
  ShowButtons();
  if (Running()) emit Started();
}

void TuneView::KeepAndSave() {
  if (!run_ || run_->Phase() != TunePhase::Deciding) return;
  run_->Keep(true, LinkNow(link_));
  ShowFigures();
  ShowButtons();
}

void TuneView::Revert() {
  if (!run_ || run_->Phase() != TunePhase::Deciding) return;
  run_->Revert(LinkNow(link_));
  ShowFigures();
  ShowButtons();
}

bool TuneView::Running() const { return run_ && run_->End() == RunEnd::Running && run_->Phase() != TunePhase::Idle; }

void TuneView::Step(double now) {
  if (!run_) return;
  const bool wasRunning = Running();
  run_->Step(now);
  if (run_->Phase() != shownPhase_ || (wasRunning && !Running())) {
    ShowFigures();
    ShowButtons();
  }
  if (wasRunning && !Running()) emit Ended();
}

void TuneView::Stop(double now) {
  if (run_) run_->Stop(now);
}

void TuneView::Refresh() {}

void TuneView::ShowButtons() {
  start_->setEnabled(startAllowed_ && !Running());
  const bool deciding = run_ && run_->Phase() == TunePhase::Deciding;
  keep_->setEnabled(deciding);
  revert_->setEnabled(deciding);
}

void TuneView::ShowFigures() {
  if (!run_) return;
  shownPhase_ = run_->Phase();
  const bool cut = run_->Phase() == TunePhase::Over && run_->End() != RunEnd::Finished;
  QString status = "Автоподстройка: " + (cut ? QString("прервана") : PhaseText(run_->Phase())) + ".";
  if (run_->End() != RunEnd::Running && run_->End() != RunEnd::Finished) status += " Итог: " + RunEndText(run_->End()) + ".";
  status_->setText(status);
  outcome_->setText(DecisionText(*run_));

  // A run cut short leaves what it did not measure unknown.
  const bool afterKnown = run_->After().complete;
  SetCell(table_, 0, COL_BEFORE, QString::number(run_->KpBefore()));
  SetCell(table_, 1, COL_BEFORE, QString::number(run_->KlBefore()));
  SetCell(table_, 0, COL_AFTER, afterKnown ? QString::number(run_->KpAfter()) : QString::fromUtf8(UNKNOWN_TEXT));
  SetCell(table_, 1, COL_AFTER, afterKnown ? QString::number(run_->KlAfter()) : QString::fromUtf8(UNKNOWN_TEXT));
  const bool beforeMeasured = run_->Before().complete;
  for (size_t i = 0; i < ROWS.size(); ++i) {
    const int row = FIRST_MEASURE_ROW + static_cast<int>(i);
    SetCell(table_, row, COL_BEFORE, beforeMeasured ? ROWS[i].value(run_->Before()) : QString::fromUtf8(UNKNOWN_TEXT));
    SetCell(table_, row, COL_AFTER, afterKnown ? ROWS[i].value(run_->After()) : QString::fromUtf8(UNKNOWN_TEXT));
  }
  if (beforeMeasured && before_->dataCount() == 0) ShowPoints(before_, run_->Before().crawl);
  if (afterKnown && after_->dataCount() == 0) ShowPoints(after_, run_->After().crawl);
  double reach = 0;
  for (const TuneMeasure* m : {&run_->Before(), &run_->After()})
    for (const analysis::CrawlPoint& p : m->crawl.points) reach = std::max({reach, std::abs(1.0 * p.a), std::abs(1.0 * p.b)});
  plot_->ShowReach(reach > 0 ? reach * 1.15 : 1000);
  plot_->replot(QCustomPlot::rpQueuedReplot);
}

void TuneView::AddToReport(AnalysisReport& report, std::vector<std::string>& json) const {
  if (!run_) return;
  ReportTable table{.title = "Автоподстройка: до и после", .columns = {"Показатель", "До", "После"}, .rows = {}};
  for (int row = 0; row < table_->rowCount(); ++row)
    table.rows.push_back({table_->item(row, COL_NAME)->text(), table_->item(row, COL_BEFORE)->text(),
                          table_->item(row, COL_AFTER)->text()});
  table.rows.push_back({"Этап", status_->text(), outcome_->text()});
  report.tables.push_back(table);
  report.plots.push_back({"Автоподстройка: круг токов до и после", plot_});
  const bool afterKnown = run_->After().complete;
  std::string tune = "\"tune\": {\"kpBefore\": " + std::to_string(run_->KpBefore()) +
                     ", \"klBefore\": " + std::to_string(run_->KlBefore()) +
                     ", \"kpAfter\": " + (afterKnown ? std::to_string(run_->KpAfter()) : "null") +
                     ", \"klAfter\": " + (afterKnown ? std::to_string(run_->KlAfter()) : "null");
  if (run_->Before().complete)
    tune += ", \"before\": {\"standstill\": " + analysis::TrackerJson(run_->Before().standstill) +
            ", \"crawl\": " + analysis::CrawlJson(run_->Before().crawl) + "}";
  if (afterKnown)
    tune += ", \"after\": {\"standstill\": " + analysis::TrackerJson(run_->After().standstill) +
            ", \"crawl\": " + analysis::CrawlJson(run_->After().crawl) + "}";
  json.push_back(tune + "}");
}

}  // namespace velkor
