// replay_panel.cpp: reading the files, aligning them, the slider and the play clock.
#include "replay_panel.h"

#include <QComboBox>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "side_dialog.h"

namespace velkor::charts {

namespace {

QString Text(const char* utf8) { return QString::fromUtf8(utf8); }

QString Seconds(double seconds) { return QString::number(seconds, 'f', 3); }

struct FileRead {
  bool ok = false;
  ReadingFile file;
  ReadingFileError error;
};

// The reader's reasons in the window's language.
QString ErrorText(const ReadingFileError& error) {
  const QString line = Text("строка %1: ").arg(error.line);
  switch (error.kind) {
    case ReadingFileErrorKind::CannotRead: return QString::fromLocal8Bit(std::strerror(error.number));
    case ReadingFileErrorKind::NotARegularFile: return Text("не обычный файл или больше 512 МБ");
    case ReadingFileErrorKind::ReadShort: return Text("файл не прочитан целиком");
    case ReadingFileErrorKind::BadVersion: return line + Text("не версия формата записей");
    case ReadingFileErrorKind::NewerVersion: return line + Text("записан более новой программой (формат %1)").arg(error.number);
    case ReadingFileErrorKind::NoReadingColumn: return line + Text("нет ни одного столбца показаний");
    case ReadingFileErrorKind::BadRow: return line + Text("не строка столбцов, названных выше");
    case ReadingFileErrorKind::NoColumnLine: return Text("нет строки с названиями столбцов");
  }
  return {};
}

// The samples and markers of a file in time order, each marker before the
// first sample after it.
template <typename OnSample, typename OnMarker>
void Walk(const ReadingFile& file, OnSample onSample, OnMarker onMarker) {
  auto marker = file.markers.begin();
  for (const Sample& sample : file.samples) {
    for (; marker != file.markers.end() && marker->seconds <= sample.seconds; ++marker) onMarker(*marker);
    onSample(sample);
  }
  for (; marker != file.markers.end(); ++marker) onMarker(*marker);
}

}  // namespace

ReplayPanel::ReplayPanel(const TriggerEngine& trigger, QWidget* parent) : QWidget(parent), trigger_(trigger) {
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  auto* row = new QHBoxLayout;
  auto* open = new QPushButton(Text("Открыть запись…"), this);
  row->addWidget(open);
  compare_ = new QPushButton(Text("Сравнить с…"), this);
  compare_->setEnabled(false);
  row->addWidget(compare_);
  row->addWidget(new QLabel(Text("Выравнивание:"), this));
  align_ = new QComboBox(this);
  align_->addItems({Text("по времени"), Text("по событию захвата")});
  row->addWidget(align_);
  play_ = new QPushButton(Text("Пуск"), this);
  play_->setEnabled(false);
  row->addWidget(play_);
  speedBox_ = new QComboBox(this);
  for (const double speed : REPLAY_SPEEDS) speedBox_->addItem(QString::number(speed) + Text("×"));
  speedBox_->setCurrentIndex(2);
  row->addWidget(speedBox_);
  slider_ = new QSlider(Qt::Horizontal, this);
  slider_->setEnabled(false);
  row->addWidget(slider_, 1);
  where_ = new QLabel(this);
  row->addWidget(where_);
  column->addLayout(row);
  files_ = new QLabel(Text("Запись не открыта"), this);
  files_->setTextFormat(Qt::PlainText);  // file names
  column->addWidget(files_);
  plots_ = new StillPlots(this);
  column->addWidget(plots_, 1);

  playTimer_.setInterval(33);
  connect(&playTimer_, &QTimer::timeout, this, &ReplayPanel::Step);
  connect(open, &QPushButton::clicked, this, [this] { Ask(false); });
  connect(compare_, &QPushButton::clicked, this, [this] { Ask(true); });
  connect(play_, &QPushButton::clicked, this, [this] { SetPlaying(!Playing()); });
  connect(speedBox_, &QComboBox::currentIndexChanged, this,
          [this](int index) { SetSpeed(REPLAY_SPEEDS[static_cast<size_t>(index)]); });
  connect(align_, &QComboBox::currentIndexChanged, this, [this](int index) { SetAlignByTrigger(index == 1); });
  connect(slider_, &QSlider::valueChanged, this, [this](int ms) { SetPosition(start_ + ms / 1000.0); });
  connect(this, &ReplayPanel::Refused, this, [this](const QString& why) { ShowMessage(this, why); });
}

void ReplayPanel::Ask(bool second) {
  AskForFile(this,
             {.title = Text(second ? "Запись для сравнения" : "Открыть запись"),
              .filter = Text("Файлы CSV (*.csv);;Все файлы (*)")},
             [this, second](const QString& path) { Open(path, second); });
}

// A FIFO, a device or a file too large is refused before anything is read;
// the rest is read away from the window's thread.
void ReplayPanel::Open(const QString& path, bool second) {
  const QFileInfo info(path);
  if (!info.exists()) {
    emit Refused(Text("Файл «%1» не найден").arg(path));
    return;
  }
  if (!info.isFile()) {
    emit Refused(Text("«%1» — не обычный файл: открыть его как запись нельзя").arg(path));
    return;
  }
  if (info.size() > MAX_REPLAY_BYTES) {
    emit Refused(Text("Файл «%1» слишком велик для воспроизведения: %2 МБ, допустимо не больше %3 МБ")
                     .arg(path)
                     .arg(info.size() >> 20)
                     .arg(MAX_REPLAY_BYTES >> 20));
    return;
  }
  auto* watcher = new QFutureWatcher<FileRead>(this);
  connect(watcher, &QFutureWatcher<FileRead>::finished, this, [this, watcher, path, second] {
    FileRead read = watcher->result();
    watcher->deleteLater();
    if (!read.ok)
      emit Refused(Text("Файл «%1» не открыт как запись: %2").arg(path, ErrorText(read.error)));
    else if (read.file.samples.empty())
      emit Refused(Text("В файле «%1» нет показаний").arg(path));
    else
      Take(path, second, std::move(read.file));
  });
  watcher->setFuture(QtConcurrent::run([file = path.toStdString()] {
    FileRead read;
    read.ok = ReadReadingFile(file, read.file, read.error);
    return read;
  }));
}

void ReplayPanel::Take(const QString& path, bool second, ReadingFile file) {
  Recording recording{QFileInfo(path).fileName(), std::move(file), 0};
  if (second && !recordings_.empty()) {
    recordings_.resize(1);
    recordings_.push_back(std::move(recording));
  } else {
    recordings_.assign(1, std::move(recording));
  }
  compare_->setEnabled(true);
  play_->setEnabled(true);
  slider_->setEnabled(true);
  Align();
  SetPosition(std::min(start_ + span_, end_));
  emit Loaded();
}

void ReplayPanel::SetAlignByTrigger(bool byTrigger) {
  byTrigger_ = byTrigger;
  align_->blockSignals(true);
  align_->setCurrentIndex(byTrigger ? 1 : 0);
  align_->blockSignals(false);
  if (recordings_.empty()) return;
  Align();
  SetPosition(std::clamp(position_, start_, end_));
}

// A saved capture names its trigger; any other recording is searched for the
// capture page's condition, its first occurrence.
std::optional<double> ReplayPanel::TriggerIn(const ReadingFile& file) const {
  const std::string saved = HeaderValue(file, TRIGGER_KEY);
  if (!saved.empty()) return std::strtod(saved.c_str(), nullptr);
  TriggerEngine search;
  TriggerSettings settings = trigger_.Settings();
  settings.mode = TriggerMode::Single;
  settings.preSeconds = 0;
  settings.postSeconds = 0;
  search.Configure(settings);
  search.Arm();
  Walk(file, [&](const Sample& sample) { search.OnSample(sample); },
       [&](const Marker& marker) { search.OnMarker(marker); });
  if (search.Captures().empty()) return std::nullopt;
  return search.Captures().front().triggerSeconds;
}

// Each recording at its own time_s, or with its trigger at 0; the layers and markers anew.
void ReplayPanel::Align() {
  QStringList notes;
  std::vector<std::optional<double>> triggers;
  for (const Recording& recording : recordings_) triggers.push_back(byTrigger_ ? TriggerIn(recording.file) : std::nullopt);
  const bool aligned = byTrigger_ && std::all_of(triggers.begin(), triggers.end(), [](auto& t) { return t.has_value(); });
  if (byTrigger_ && !aligned) notes.append(Text("событие не найдено во всех записях: выровнено по времени"));
  std::vector<StillLayer> layers;
  std::vector<StillMarker> markers;
  start_ = 0;
  end_ = 0;
  for (size_t i = 0; i < recordings_.size(); ++i) {
    Recording& recording = recordings_[i];
    const std::vector<Sample>& samples = recording.file.samples;
    // By time, each row stays at its own time_s.
    recording.offset = aligned ? *triggers[i] : 0;
    start_ = i == 0 ? samples.front().seconds - recording.offset
                    : std::min(start_, samples.front().seconds - recording.offset);
    end_ = i == 0 ? samples.back().seconds - recording.offset : std::max(end_, samples.back().seconds - recording.offset);
    layers.push_back({recording.name, samples, recording.offset, i > 0, true});
    for (const Marker& marker : recording.file.markers)
      markers.push_back({marker.seconds - recording.offset,
                         (i > 0 ? Text("(2) ") : QString()) + QString::fromStdString(MarkerWords(marker))});
    if (recording.file.lastRowTorn) notes.append(Text("в «%1» последняя строка оборвана и пропущена").arg(recording.name));
    if (!recording.file.timed) notes.append(Text("в «%1» нет времени: по оси номера строк").arg(recording.name));
  }
  QStringList names;
  for (size_t i = 0; i < recordings_.size(); ++i)
    names.append((i == 0 ? Text("Запись: ") : Text("сравнение (пунктир): ")) + recordings_[i].name);
  files_->setText(names.join(Text("; ")) + (notes.isEmpty() ? QString() : Text(" — ") + notes.join(Text("; "))));
  plots_->SetMarkers(std::move(markers));
  plots_->SetLayers(std::move(layers));
  slider_->blockSignals(true);
  slider_->setRange(0, static_cast<int>((end_ - start_) * 1000));
  slider_->blockSignals(false);
}

void ReplayPanel::SetSpan(double seconds) {
  span_ = seconds;
  if (!recordings_.empty()) SetPosition(position_);
}

void ReplayPanel::SetPosition(double seconds) {
  position_ = std::clamp(seconds, start_, end_);
  slider_->blockSignals(true);
  slider_->setValue(static_cast<int>((position_ - start_) * 1000));
  slider_->blockSignals(false);
  where_->setText(Text("%1 с из %2 с").arg(Seconds(position_ - start_), Seconds(end_ - start_)));
  // A recording shorter than the span fits the plot; a single row has a second around it.
  const double pad = end_ > start_ ? 0 : 0.5;
  if (end_ - start_ < span_) plots_->SetTimeRange(start_ - pad, end_ + pad);
  else plots_->SetTimeRange(position_ - span_, position_);
  emit Moved();
}

void ReplayPanel::SetPlaying(bool playing) {
  if (playing && !recordings_.empty()) {
    if (position_ >= end_) SetPosition(start_);
    played_.start();
    playTimer_.start();
  } else {
    playTimer_.stop();
  }
  play_->setText(Text(Playing() ? "Пауза" : "Пуск"));
}

void ReplayPanel::SetSpeed(double speed) {
  speed_ = speed;
  const auto index = std::find(REPLAY_SPEEDS.begin(), REPLAY_SPEEDS.end(), speed) - REPLAY_SPEEDS.begin();
  speedBox_->blockSignals(true);
  speedBox_->setCurrentIndex(static_cast<int>(index));
  speedBox_->blockSignals(false);
}

// The clock of the play: the real time since the last step, times the speed.
void ReplayPanel::Step() {
  SetPosition(position_ + played_.restart() / 1000.0 * speed_);
  if (position_ >= end_) SetPlaying(false);
}

void ReplayPanel::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  SetPlaying(false);
}

std::vector<Sample> ReplayPanel::ShownSamples() const {
  std::vector<Sample> shown;
  if (recordings_.empty()) return shown;
  const Recording& first = recordings_.front();
  for (const Sample& sample : first.file.samples) {
    const double axis = sample.seconds - first.offset;
    if (axis >= position_ - span_ && axis <= position_) shown.push_back(sample);
  }
  return shown;
}

}  // namespace velkor::charts
