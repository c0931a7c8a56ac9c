// sweep_view.cpp: the sweep tab's bounds, its plot against speed and its table.
#include "sweep_view.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>
#include <qcustomplot.h>

#include "analysis_json.h"
#include "analysis_plot.h"
#include "figure_texts.h"

namespace velkor {
namespace {

constexpr int MAX_SWEEP_RPM = 3000;

constexpr const char* COLUMNS[] = {"Скорость, об/мин",     "Средняя, об/мин",   "СКО ошибки, мА",
                                   "ШИМ у потолка, %",     "Пульсация скорости, %", "Суммарный ток, мА",
                                   "Регулирование потеряно", "Ошибки выросли",  "Основа"};

QStringList Columns() {
  QStringList list;
  for (const char* name : COLUMNS) list << name;
  return list;
}

QCPItemStraightLine* Marker(QCustomPlot* plot, const QColor& colour) {
  auto* line = new QCPItemStraightLine(plot);
  line->setPen(QPen(colour, 2, Qt::DashLine));
  line->setVisible(false);
  return line;
}

void Place(QCPItemStraightLine* line, const std::optional<double>& rpm) {
  line->setVisible(rpm.has_value());
  if (!rpm) return;
  line->point1->setCoords(*rpm, 0);
  line->point2->setCoords(*rpm, 1);
}

}  // namespace

SweepView::SweepView(Link& link, QWidget* parent) : MotionView(link, parent) {
  auto* layout = new QVBoxLayout(this);
  auto* settings = new QHBoxLayout;
  const auto spin = [&](const QString& label, int min, int max, int value) {
    settings->addWidget(new QLabel(label, this));
    auto* box = new QSpinBox(this);
    box->setRange(min, max);
    box->setValue(value);
    settings->addWidget(box);
    return box;
  };
  const SweepPlan defaults;
  from_ = spin("От, об/мин:", 1, MAX_SWEEP_RPM, defaults.fromRpm);
  to_ = spin("до, об/мин:", 1, MAX_SWEEP_RPM, defaults.toRpm);
  steps_ = spin("скоростей:", 2, static_cast<int>(MAX_SEGMENTS), defaults.steps);
  settings->addStretch();
  start_ = new QPushButton("Пуск…", this);
  connect(start_, &QPushButton::clicked, this, &SweepView::AskToStart);
  settings->addWidget(start_);
  layout->addLayout(settings);

  status_ = new QLabel("Развёртка не запускалась.", this);
  status_->setTextFormat(Qt::PlainText);
  layout->addWidget(status_);
  verdict_ = new QLabel(this);
  verdict_->setTextFormat(Qt::PlainText);
  verdict_->setWordWrap(true);
  layout->addWidget(verdict_);

  auto* split = new QSplitter(Qt::Vertical, this);
  plot_ = new QCustomPlot(split);
  plot_->setMinimumHeight(260);
  plot_->xAxis->setLabel("Скорость, об/мин");
  plot_->yAxis->setLabel("СКО ошибки, мА");
  plot_->yAxis2->setVisible(true);
  plot_->yAxis2->setLabel("ШИМ у потолка, %");
  plot_->yAxis2->setRange(0, 105);
  error_ = plot_->addGraph(plot_->xAxis, plot_->yAxis);
  error_->setName("СКО ошибки");
  error_->setPen(QPen(MEASURED_COLOUR, 2));
  error_->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssCircle, 6));
  ceiling_ = plot_->addGraph(plot_->xAxis, plot_->yAxis2);
  ceiling_->setName("ШИМ у потолка");
  ceiling_->setPen(QPen(SECOND_COLOUR, 2));
  ceiling_->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssSquare, 6));
  range_ = new QCPItemRect(plot_);
  range_->setPen(Qt::NoPen);
  range_->setBrush(QColor(40, 170, 60, 50));
  range_->setVisible(false);
  lost_ = Marker(plot_, WARNING_COLOUR);
  risen_ = Marker(plot_, SECOND_COLOUR);
  plot_->legend->setVisible(true);
  plot_->axisRect()->insetLayout()->setInsetAlignment(0, Qt::AlignTop | Qt::AlignLeft);
  StylePlot(plot_, palette());
  table_ = new QTableWidget(0, static_cast<int>(std::size(COLUMNS)), split);
  table_->setHorizontalHeaderLabels(Columns());
  table_->verticalHeader()->hide();
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  split->addWidget(plot_);
  split->addWidget(table_);
  split->setStretchFactor(0, 2);
  layout->addWidget(split, 1);
  auto* legend = new QLabel("Красная черта: с этой скорости теряется регулирование тока (не хватает напряжения). "
                            "Оранжевая: с этой скорости растут ошибки. Зелёная полоса: предлагаемые скорости.",
                            this);
  legend->setWordWrap(true);
  layout->addWidget(legend);
  ShowButtons();
}

SweepView::~SweepView() = default;

void SweepView::SetBounds(int fromRpm, int toRpm, int steps) {
  from_->setValue(fromRpm);
  to_->setValue(toRpm);
  steps_->setValue(steps);
}

double SweepView::PlannedSeconds() const {
  // The settling before each speed comes on top: this is the least it takes.
  return steps_->value() * SWEEP_HOLD_SECONDS;
}

void SweepView::AskToStart() {
  ConfirmMotion(QString("Двигатель будет вращаться на %1 скоростях от %2 до %3 об/мин, каждая около %4 с "
                        "(всего не меньше %5 с), затем остановится сам.")
                    .arg(steps_->value())
                    .arg(from_->value())
                    .arg(to_->value())
                    .arg(SWEEP_HOLD_SECONDS, 0, 'f', 0)
                    .arg(PlannedSeconds(), 0, 'f', 0),
                [this] { Begin(); });
}

void SweepView::Begin() {
  run_ = std::make_unique<SweepRun>(link_);
  run_->Start({.fromRpm = static_cast<int16_t>(from_->value()),
               .toRpm = static_cast<int16_t>(to_->value()),
               .steps = steps_->value(),
               .holdSeconds = SWEEP_HOLD_SECONDS,
               .right = true},
              LinkNow(link_));
  shownSegment_ = 0;
  ShowFigures();
  ShowButtons();
  if (Running()) emit Started();
}

bool SweepView::Running() const { return run_ && run_->Running(); }

void SweepView::Step(double now) {
  if (!run_) return;
  const bool wasRunning = run_->Running();
  run_->Step(now);
  if (wasRunning && !run_->Running()) {
    ShowFigures();
    ShowButtons();
    emit Ended();
  }
}

void SweepView::Stop(double now) {
  if (run_) run_->Stop(now);
}

// A speed's figures are worked out over all its readings: only once it is done.
void SweepView::Refresh() {
  if (!Running() || run_->Motion().Segment() == shownSegment_) return;
  shownSegment_ = run_->Motion().Segment();
  ShowFigures();
}

void SweepView::ShowButtons() { start_->setEnabled(startAllowed_ && !Running()); }

void SweepView::ShowFigures() {
  if (!run_) return;
  const analysis::SweepFigures f = run_->Figures();
  status_->setText(QString("Развёртка %1…%2 об/мин: %3; измерено скоростей: %4.")
                       .arg(run_->Plan().fromRpm)
                       .arg(run_->Plan().toRpm)
                       .arg(RunEndText(run_->End()))
                       .arg(f.steps.size()));
  QString verdict = QString("Регулирование теряется с %1 об/мин. Ошибки растут с %2 об/мин. ")
                        .arg(f.regulationLostRpm ? QString::number(*f.regulationLostRpm, 'f', 0) : "— (не замечено)",
                             f.errorRiseRpm ? QString::number(*f.errorRiseRpm, 'f', 0) : "— (не замечено)");
  verdict += f.jogFromRpm && f.jogToRpm
                 ? QString("Предлагаемые скорости толчкового хода: %1…%2 об/мин.").arg(*f.jogFromRpm, 0, 'f', 0).arg(*f.jogToRpm, 0, 'f', 0)
                 : QString("Предлагаемый диапазон: нет данных.");
  verdict += " Потолок ШИМ: " + CeilingText(f.ceiling) + ".";
  verdict_->setText(verdict);

  QVector<double> speeds, errors, ceilings;
  double highestError = 0;
  table_->setRowCount(static_cast<int>(f.steps.size()));
  for (size_t i = 0; i < f.steps.size(); ++i) {
    const analysis::SweepStepFigures& s = f.steps[i];
    const QStringList cells = {QString::number(s.targetRpm, 'f', 0), Number(s.meanSpeedRpm, 1),
                               Number(s.rmsErrorMa, 1),              Number(s.nearCeilingPercent, 1),
                               Number(s.speedRipplePercent, 1),      Number(s.meanTotalCurrentMa, 0),
                               YesNo(s.regulationLost),              s.errorsRisen ? "да" : "нет",
                               BasisText(s.basis)};
    for (int c = 0; c < cells.size(); ++c) {
      auto* item = table_->item(static_cast<int>(i), c);
      if (!item) {
        item = new QTableWidgetItem;
        item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        table_->setItem(static_cast<int>(i), c, item);
      }
      item->setText(cells[c]);
    }
    // An unknown figure is left out of its line, not drawn as 0.
    if (s.rmsErrorMa) {
      speeds << s.targetRpm;
      errors << *s.rmsErrorMa;
      highestError = std::max(highestError, *s.rmsErrorMa);
    }
  }
  QVector<double> ceilingSpeeds;
  for (const analysis::SweepStepFigures& s : f.steps)
    if (s.nearCeilingPercent) {
      ceilingSpeeds << s.targetRpm;
      ceilings << *s.nearCeilingPercent;
    }
  error_->setData(speeds, errors);
  ceiling_->setData(ceilingSpeeds, ceilings);
  const double low = std::min(run_->Plan().fromRpm, run_->Plan().toRpm);
  const double high = std::max(run_->Plan().fromRpm, run_->Plan().toRpm);
  const double margin = std::max(1.0, (high - low) * 0.05);
  plot_->xAxis->setRange(low - margin, high + margin);
  plot_->yAxis->setRange(0, highestError > 0 ? highestError * 1.2 : 100);
  Place(lost_, f.regulationLostRpm);
  Place(risen_, f.errorRiseRpm);
  range_->setVisible(f.jogFromRpm && f.jogToRpm);
  if (f.jogFromRpm && f.jogToRpm) {
    range_->topLeft->setCoords(*f.jogFromRpm, plot_->yAxis->range().upper);
    range_->bottomRight->setCoords(*f.jogToRpm, 0);
  }
  plot_->replot(QCustomPlot::rpQueuedReplot);
}

void SweepView::AddToReport(AnalysisReport& report, std::vector<std::string>& json) const {
  if (!run_) return;
  const analysis::SweepFigures f = run_->Figures();
  ReportTable table{.title = "Развёртка по скорости: " + status_->text(), .columns = Columns(), .rows = {}};
  for (int row = 0; row < table_->rowCount(); ++row) {
    QStringList cells;
    for (int c = 0; c < table_->columnCount(); ++c) cells << table_->item(row, c)->text();
    table.rows.push_back(cells);
  }
  report.tables.push_back(table);
  report.tables.push_back({.title = "Развёртка по скорости: вывод", .columns = {"Вывод"}, .rows = {{verdict_->text()}}});
  report.plots.push_back({"Развёртка по скорости: ошибка и ШИМ у потолка против скорости", plot_});
  json.push_back("\"sweep\": " + analysis::SweepJson(f));
}

}  // namespace velkor
