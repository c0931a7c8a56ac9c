// current_analysis_window.cpp: the window's frame, its listening and its report.
#include "current_analysis_window.h"

#include <QCloseEvent>
#include <QDateTime>
#include <QEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QJsonDocument>
#include <QLabel>
#include <QPushButton>
#include <QKeyEvent>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

#include "analysis_json.h"
#include "analysis_plot.h"
#include "driver_identity.h"
#include "crawl_view.h"
#include "figure_texts.h"
#include "json_string.h"
#include "profile_apply_text.h"
#include "side_dialog.h"
#include "sweep_view.h"
#include "tracking_view.h"
#include "tune_view.h"

namespace velkor {
namespace {

QString DriverText(const Link& link) {
  const QString port = link.values.portName.empty() ? QString("порт не выбран") : QString::fromStdString(link.values.portName);
  return QString("Порт: %1. %2").arg(port, QString::fromUtf8(link.values.statusText.data(),
                                                                  static_cast<qsizetype>(link.values.statusText.size())));
}

}  // namespace

CurrentAnalysisWindow::CurrentAnalysisWindow(Link& link, QObject* ticker, QWidget* parent)
    : QWidget(parent, Qt::Window), link_(link), ticker_(ticker) {
  setWindowTitle(QString::fromUtf8(ANALYSIS_TITLE));
  setAttribute(Qt::WA_QuitOnClose, false);
  tracker_.WatchBadFrames(&link_.state.decoder.badFrames);

  auto* layout = new QVBoxLayout(this);
  auto* top = new QHBoxLayout;
  driver_ = new QLabel(this);
  driver_->setTextFormat(Qt::PlainText);  // the port's name is the operator's
  top->addWidget(driver_, 1);
  stop_ = new QPushButton("Стоп (Esc)", this);
  stop_->setToolTip("Останавливает двигатель сразу, как и «Стоп» на панели.");
  connect(stop_, &QPushButton::clicked, this, &CurrentAnalysisWindow::StopMotion);
  top->addWidget(stop_);
  save_ = new QPushButton("Сохранить отчёт…", this);
  connect(save_, &QPushButton::clicked, this, &CurrentAnalysisWindow::ChooseReportFile);
  top->addWidget(save_);
  layout->addLayout(top);

  tabs_ = new QTabWidget(this);
  tracking_ = new TrackingView(tracker_, tabs_);
  crawl_ = new CrawlView(link_, tabs_);
  sweep_ = new SweepView(link_, tabs_);
  tune_ = new TuneView(link_, tabs_);
  tabs_->addTab(tracking_, "Слежение за током");
  tabs_->addTab(crawl_, "Ползучий ход");
  tabs_->addTab(sweep_, "Развёртка по скорости");
  tabs_->addTab(tune_, "Автоподстройка");
  layout->addWidget(tabs_, 1);
  for (MotionView* view : std::initializer_list<MotionView*>{crawl_, sweep_, tune_}) {
    connect(view, &MotionView::Started, this, &CurrentAnalysisWindow::ShowMotionState);
    connect(view, &MotionView::Ended, this, &CurrentAnalysisWindow::ShowMotionState);
  }

  refresh_ = new QTimer(this);
  refresh_->setInterval(FIGURES_REFRESH_MS);
  connect(refresh_, &QTimer::timeout, this, &CurrentAnalysisWindow::RefreshFigures);
  // A port choice may leave no tick to follow it.
  if (ticker_->metaObject()->indexOfSignal("PortOpened(QString)") >= 0)
    connect(ticker_, SIGNAL(PortOpened(QString)), this, SLOT(AfterTick()));
  ShowMotionState();
  resize(1000, 700);
}

CurrentAnalysisWindow::~CurrentAnalysisWindow() {
  // The runs give their listeners back as they go; the tracker's is ours.
  std::erase(link_.listeners, &tracker_);
}

bool CurrentAnalysisWindow::MotionRunning() const { return crawl_->Running() || sweep_->Running() || tune_->Running(); }

void CurrentAnalysisWindow::StopMotion() {
  const double now = LinkNow(link_);
  for (MotionView* view : std::initializer_list<MotionView*>{crawl_, sweep_, tune_})
    if (view->Running()) view->Stop(now);
}

void CurrentAnalysisWindow::AfterTick() {
  if (owed_.owed) {
    PayOwedStop(link_, owed_, LinkNow(link_));
    if (!owed_.owed) UpdateListening();
  }
  if (!MotionRunning()) return;
  // The panel's "Стоп" and a lost link turn the jog off between two ticks.
  if (jogAfterStep_ && !link_.state.jogActive) StopMotion();
  const double now = LinkNow(link_);
  for (MotionView* view : std::initializer_list<MotionView*>{crawl_, sweep_, tune_})
    if (view->Running()) view->Step(now);
  jogAfterStep_ = link_.state.jogActive;
}

void CurrentAnalysisWindow::RefreshFigures() {
  driver_->setText(DriverText(link_));
  tracker_.SetJogging(link_.state.jogActive);
  const analysis::TrackerFigures figures = tracker_.Figures(LinkNow(link_));
  tracking_->Show(figures);
  // A rate taken over a moment after the window was opened says little.
  const analysis::Basis& basis = figures.windings[0].all.basis;
  crawl_->SetReadingRate(basis.spanSeconds >= MIN_RATE_SPAN_SECONDS ? basis.rateHz : std::nullopt);
  for (MotionView* view : std::initializer_list<MotionView*>{crawl_, sweep_, tune_}) view->Refresh();
}

void CurrentAnalysisWindow::ShowMotionState() {
  const bool running = MotionRunning();
  if (running && !runGoing_) {
    const ParameterState& speed = State(link_.parameters, ParameterId::JogSpeed);
    runResets_ = link_.parameters.resets;
    runFound_ = OwedStop{.owed = true, .port = link_.values.portName, .since = 0,
                         .jogSpeed = static_cast<int16_t>(speed.value)};
  } else if (!running && runGoing_ && link_.parameters.resets != runResets_) {
    owed_ = runFound_;
    owed_.since = LinkNow(link_);
  }
  runGoing_ = running;
  for (MotionView* view : std::initializer_list<MotionView*>{crawl_, sweep_, tune_}) view->AllowStart(!running);
  stop_->setEnabled(running);
  jogAfterStep_ = link_.state.jogActive;
  UpdateListening();
}

void CurrentAnalysisWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  UpdateListening();
  RefreshFigures();
}

void CurrentAnalysisWindow::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  UpdateListening();
}

// Closing the window ends its motion as Esc does; the stop and the jog
// speed's return are still seen through while it is hidden.
void CurrentAnalysisWindow::closeEvent(QCloseEvent* event) {
  StopMotion();
  QWidget::closeEvent(event);
}

// Esc comes here from wherever the focus is in the window, unless an open
// list takes it to close itself.
void CurrentAnalysisWindow::keyPressEvent(QKeyEvent* event) {
  if (event->key() != Qt::Key_Escape) {
    QWidget::keyPressEvent(event);
    return;
  }
  StopMotion();
  event->accept();
}

// The plots take the window's colours, light or dark, whenever they change.
void CurrentAnalysisWindow::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() != QEvent::PaletteChange) return;
  for (QCustomPlot* plot : findChildren<QCustomPlot*>()) {
    StylePlot(plot, palette());
    plot->replot(QCustomPlot::rpQueuedReplot);
  }
}

// The live figures are worked out while they can be seen; a run is stepped
// until it ends, shown or not. Otherwise the window costs the link nothing.
void CurrentAnalysisWindow::UpdateListening() {
  const bool wanted = isVisible() || MotionRunning() || owed_.owed;
  if (isVisible()) {
    refresh_->start();
  } else {
    refresh_->stop();
  }
  const bool tracking = isVisible();
  const bool listed = std::find(link_.listeners.begin(), link_.listeners.end(), &tracker_) != link_.listeners.end();
  if (tracking && !listed) {
    tracker_.Clear();
    link_.listeners.push_back(&tracker_);
  } else if (!tracking && listed) {
    std::erase(link_.listeners, &tracker_);
  }
  if (wanted == listening_) return;
  if (wanted) {
    connect(ticker_, SIGNAL(Ticked()), this, SLOT(AfterTick()));
  } else {
    disconnect(ticker_, SIGNAL(Ticked()), this, SLOT(AfterTick()));
  }
  listening_ = wanted;
}

AnalysisReport CurrentAnalysisWindow::Report() const {
  AnalysisReport report;
  report.title = "Velkor: анализ тока";
  const QString time = QDateTime::fromSecsSinceEpoch(std::chrono::system_clock::to_time_t(clock_()))
                           .toString("yyyy-MM-dd HH:mm:ss");
  const QString port = QString::fromStdString(link_.values.portName);
  // The driver is the device and the name it is known by across connections.
  const QString driver = port.isEmpty() ? QString::fromUtf8(UNKNOWN_TEXT)
                                        : QString("VK-3, %1").arg(QString::fromStdString(DriverIdentity(port.toStdString())));
  report.facts = {{"Время", time}, {"Порт", port.isEmpty() ? "не выбран" : port}, {"Привод", driver}};

  ReportTable parameters{.title = "Параметры привода", .columns = {"Параметр", "Значение"}, .rows = {}};
  std::string parametersJson;
  for (size_t i = 0; i < PARAMETER_STATE_COUNT; ++i) {
    const auto id = static_cast<ParameterId>(i);
    const ParameterState& s = link_.parameters.parameters[i];
    const bool known = s.known && s.reportedSinceReset;
    parameters.rows.push_back({QString::fromStdString(ParameterCaption(id, Language::Russian)),
                               known ? QString::fromStdString(ProfileValueText(id, s.value, Language::Russian))
                                     : QString::fromUtf8(UNKNOWN_TEXT)});
    parametersJson += (i ? ", " : "") + JsonString(ParameterName(id)) + ": " + (known ? std::to_string(s.value) : "null");
  }
  report.tables.push_back(parameters);
  report.tables.push_back(tracking_->Table());

  std::vector<std::string> members = {
      "\"format\": \"velkor-current-report\"", "\"version\": 1", "\"time\": " + JsonString(time.toStdString()),
      "\"port\": " + JsonString(port.toStdString()), "\"driver\": {\"device\": \"VK-3\", \"identity\": " +
          (port.isEmpty() ? std::string("null") : JsonString(DriverIdentity(port.toStdString()))) +
          ", \"port\": " + JsonString(port.toStdString()) + "}",
      "\"parameters\": {" + parametersJson + "}",
      "\"tracking\": " + analysis::TrackerJson(tracker_.Figures(LinkNow(link_)))};
  for (const MotionView* view : std::initializer_list<const MotionView*>{crawl_, sweep_, tune_})
    view->AddToReport(report, members);
  std::string json = "{";
  for (size_t i = 0; i < members.size(); ++i) json += (i ? ",\n  " : "\n  ") + members[i];
  report.json = QByteArray::fromStdString(json + "\n}\n");
  return report;
}

bool CurrentAnalysisWindow::SaveReport(const QString& pdfPath) {
  const AnalysisReport report = Report();
  const QString jsonPath = JsonPathBeside(pdfPath);
  std::optional<QString> error = WriteReportPdf(report, pdfPath);
  QString failed = pdfPath;
  if (!error) {
    error = WriteReportJson(report, jsonPath);
    failed = jsonPath;
  }
  if (error) {
    ShowMessage(this, QString("Отчёт не записан: «%1»: %2").arg(failed, *error));
    return false;
  }
  ShowMessage(this, QString("Отчёт записан: «%1» и «%2».").arg(pdfPath, jsonPath));
  return true;
}

void CurrentAnalysisWindow::ChooseReportFile() {
  AskForFile(this, {.title = "Сохранить отчёт", .folder = lastFolder_, .filter = "Отчёты PDF (*.pdf)", .save = true,
                   .defaultSuffix = "pdf"},
             [this](const QString& path) {
               lastFolder_ = QFileInfo(path).absolutePath();
               SaveReport(path);
             });
}

}  // namespace velkor
