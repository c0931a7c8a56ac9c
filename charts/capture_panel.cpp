// capture_panel.cpp: the trigger's controls, its state line and the captures drawn.
#include "capture_panel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace velkor::charts {

namespace {

QString Text(const char* utf8) { return QString::fromUtf8(utf8); }

// The sources in the order of the condition list.
constexpr std::array<TriggerSource, 5> SOURCES{TriggerSource::Reading, TriggerSource::LinkConnected,
                                               TriggerSource::LinkLost, TriggerSource::ParameterChange,
                                               TriggerSource::TrackingError};

QDoubleSpinBox* SecondsBox(double value, double maximum, QWidget* parent) {
  auto* box = new QDoubleSpinBox(parent);
  box->setRange(0, maximum);
  box->setDecimals(2);
  box->setSingleStep(0.1);
  box->setValue(value);
  box->setSuffix(Text(" с"));
  return box;
}

}  // namespace

CapturePanel::CapturePanel(QWidget* parent) : QWidget(parent) {
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->addWidget(BuildControls());
  state_ = new QLabel(this);
  state_->setTextFormat(Qt::PlainText);
  QFont bold = font();
  bold.setBold(true);
  state_->setFont(bold);
  state_->setMargin(3);
  state_->setAutoFillBackground(true);
  column->addWidget(state_);
  plots_ = new StillPlots(this);
  column->addWidget(plots_, 1);
  Reconfigure();
}

QWidget* CapturePanel::BuildControls() {
  auto* controls = new QWidget(this);

  source_ = new QComboBox(controls);
  source_->addItems({Text("Показание"), Text("Связь установлена"), Text("Обрыв связи"), Text("Изменение параметра"),
                     Text("Ошибка слежения")});
  reading_ = new QComboBox(controls);
  for (const LiveReadingInfo& info : LIVE_READINGS) reading_->addItem(Text(info.label));
  reading_->setCurrentIndex(static_cast<int>(Index(LiveReading::ActualCurrentA)));
  edge_ = new QComboBox(controls);
  edge_->addItems({Text("↑ нарастание"), Text("↓ спад"), Text("↕ любой")});
  level_ = new QSpinBox(controls);
  level_->setRange(-100000, 100000);
  winding_ = new QComboBox(controls);
  winding_->addItems({Text("обмотка A"), Text("обмотка B")});
  bound_ = new QSpinBox(controls);
  bound_->setRange(0, 100000);
  bound_->setValue(200);
  bound_->setSuffix(Text(" мА"));
  holdOff_ = SecondsBox(0, 60, controls);
  pre_ = SecondsBox(1, MAX_CAPTURE_SIDE_SECONDS, controls);
  post_ = SecondsBox(1, MAX_CAPTURE_SIDE_SECONDS, controls);
  mode_ = new QComboBox(controls);
  mode_->addItems({Text("Однократный"), Text("Ждущий"), Text("Автоматический")});
  kept_ = new QSpinBox(controls);
  kept_->setRange(1, MAX_KEPT_CAPTURES);
  kept_->setValue(engine_.Kept());
  overlay_ = new QCheckBox(Text("Наложить"), controls);
  overlay_->setChecked(true);
  arm_ = new QPushButton(Text("Взвести"), controls);
  arm_->setCheckable(true);
  save_ = new QPushButton(Text("Сохранить захват…"), controls);
  save_->setEnabled(false);

  // Three short rows, so that the window keeps its narrow default width.
  auto* rows = new QVBoxLayout(controls);
  rows->setContentsMargins(0, 0, 0, 0);
  auto row = [&](std::initializer_list<std::pair<const char*, QWidget*>> cells) {
    auto* line = new QHBoxLayout;
    for (const auto& [label, widget] : cells) {
      if (label) line->addWidget(new QLabel(Text(label), controls));
      line->addWidget(widget);
    }
    line->addStretch();
    rows->addLayout(line);
  };
  row({{"Условие:", source_}, {nullptr, reading_}, {nullptr, edge_}, {"Уровень:", level_}, {nullptr, winding_},
       {"Порог:", bound_}});
  row({{"До события:", pre_}, {"После:", post_}, {"Задержка повтора:", holdOff_}, {"Режим:", mode_}});
  row({{"Хранить:", kept_}, {nullptr, overlay_}, {nullptr, arm_}, {nullptr, save_}});
  // Readings come about every 10 ms: a capture cannot show anything finer.
  auto* resolution = new QLabel(
      Text("Разрешение по времени: показания приходят примерно каждые 10 мс, точнее захват не покажет."), controls);
  resolution->setWordWrap(true);
  rows->addWidget(resolution);

  for (QComboBox* box : {source_, reading_, edge_, winding_, mode_})
    connect(box, &QComboBox::currentIndexChanged, this, &CapturePanel::Reconfigure);
  for (QSpinBox* box : {level_, bound_}) connect(box, &QSpinBox::valueChanged, this, &CapturePanel::Reconfigure);
  for (QDoubleSpinBox* box : {holdOff_, pre_, post_})
    connect(box, &QDoubleSpinBox::valueChanged, this, &CapturePanel::Reconfigure);
  connect(kept_, &QSpinBox::valueChanged, this, [this](int count) {
    engine_.SetKept(count);
    ShowCaptures();
  });
  connect(overlay_, &QCheckBox::toggled, this, &CapturePanel::ShowCaptures);
  connect(arm_, &QPushButton::toggled, this, [this](bool armed) {
    if (armed)
      engine_.Arm();
    else
      engine_.Disarm();
    ShowState();
  });
  connect(save_, &QPushButton::clicked, this, &CapturePanel::SaveAsked);
  return controls;
}

// A changed setting disarms the trigger: the operator arms it again on purpose.
void CapturePanel::Reconfigure() {
  const TriggerSource source = SOURCES[static_cast<size_t>(source_->currentIndex())];
  reading_->setVisible(source == TriggerSource::Reading);
  edge_->setVisible(source == TriggerSource::Reading);
  level_->setEnabled(source == TriggerSource::Reading);
  winding_->setVisible(source == TriggerSource::TrackingError);
  bound_->setEnabled(source == TriggerSource::TrackingError);
  engine_.Configure({.source = source,
                     .reading = LIVE_READINGS[static_cast<size_t>(reading_->currentIndex())].reading,
                     .edge = static_cast<TriggerEdge>(edge_->currentIndex()),
                     .level = double(level_->value()),
                     .holdOffSeconds = holdOff_->value(),
                     .winding = static_cast<Winding>(winding_->currentIndex()),
                     .bound = double(bound_->value()),
                     .preSeconds = pre_->value(),
                     .postSeconds = post_->value(),
                     .mode = static_cast<TriggerMode>(mode_->currentIndex())});
  arm_->setChecked(false);
  ShowState();
}

void CapturePanel::OnSample(const Sample& sample) {
  engine_.OnSample(sample);
  ShowState();
}

void CapturePanel::OnMarker(const Marker& marker) {
  engine_.OnMarker(marker);
  ShowState();
}

QString CapturePanel::StateText() const {
  const size_t held = engine_.Captures().size();
  const QString cause = held ? Text(engine_.Captures().back().cause.c_str()) : QString();
  switch (engine_.State()) {
    case TriggerState::Idle: return Text("Захват: не взведён");
    case TriggerState::Armed: return Text("Захват: взведён, ждёт события");
    case TriggerState::Triggered:
      return engine_.CollectingForced() ? Text("Захват: без события (авто), идёт запись")
                                        : Text("Захват: сработал, идёт запись после события");
    case TriggerState::Held:
      return engine_.Rearmed()
                 ? Text("Захват: показан (захватов: %1, последний — %2); взведён снова, ждёт события").arg(held).arg(cause)
                 : Text("Захват: удерживается (захватов: %1, последний — %2)").arg(held).arg(cause);
  }
  return {};
}

// Only when something changed: a sample that changes nothing costs nothing here.
void CapturePanel::ShowState() {
  if (engine_.Completed() != shownCompleted_) {
    shownCompleted_ = engine_.Completed();
    ShowCaptures();
    emit Captured();
  }
  const bool changed = engine_.State() != shownState_ || engine_.Rearmed() != shownRearmed_;
  if (!changed && !state_->text().isEmpty()) return;
  shownState_ = engine_.State();
  shownRearmed_ = engine_.Rearmed();
  state_->setText(StateText());
  // Waiting amber (so is auto mode's capture without an event), collecting red, holding green.
  const QColor colour = shownState_ == TriggerState::Armed || engine_.CollectingForced() ? QColor(0xffe08a)
                        : shownState_ == TriggerState::Triggered ? QColor(0xff9c8a)
                        : shownState_ == TriggerState::Held      ? QColor(0xb8e6b0)
                                                                 : palette().color(QPalette::Window);
  QPalette look = state_->palette();
  look.setColor(QPalette::Window, colour);
  state_->setPalette(look);
  arm_->blockSignals(true);
  arm_->setChecked(shownState_ == TriggerState::Armed || shownState_ == TriggerState::Triggered || shownRearmed_);
  arm_->blockSignals(false);
}

// The newest capture solid, the older ones faint behind it, each shifted so
// that its trigger stands at 0.
void CapturePanel::ShowCaptures() {
  const std::deque<Capture>& captures = engine_.Captures();
  save_->setEnabled(!captures.empty());
  std::vector<StillLayer> layers;
  std::vector<StillMarker> markers;
  const size_t count = overlay_->isChecked() ? captures.size() : std::min<size_t>(captures.size(), 1);
  for (size_t i = 0; i < count; ++i) {
    const Capture& capture = captures[captures.size() - 1 - i];
    layers.push_back({Text("захват %1").arg(i + 1), capture.samples, capture.triggerSeconds, i > 0, i == 0});
  }
  if (!captures.empty()) {
    const Capture& newest = captures.back();
    markers.push_back({0, Text("Событие захвата: ") + QString::fromStdString(newest.cause)});
    for (const Marker& marker : newest.markers)
      markers.push_back({marker.seconds - newest.triggerSeconds, QString::fromStdString(MarkerWords(marker))});
  }
  plots_->SetMarkers(std::move(markers));
  plots_->SetLayers(std::move(layers));
  plots_->SetTimeRange(-engine_.Settings().preSeconds, engine_.Settings().postSeconds);
}

}  // namespace velkor::charts
