// capture_panel.h: the "Захват" page of the chart window: the trigger's
// condition, lengths and mode, its state in plain words, and the captures
// held, the newest drawn over the older ones aligned at their triggers. It is
// fed every sample and event beside the live traces, which go on behind it.
// Depends on Qt Widgets, trigger.h and still_plots.h.
#pragma once

#include <QWidget>

#include <cstdint>

#include "still_plots.h"
#include "trigger.h"

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QPushButton;
class QSpinBox;

namespace velkor::charts {

class CapturePanel : public QWidget {
  Q_OBJECT

 public:
  explicit CapturePanel(QWidget* parent = nullptr);

  void OnSample(const Sample& sample);
  void OnMarker(const Marker& marker);

  TriggerEngine& Engine() { return engine_; }
  StillPlots* Plots() const { return plots_; }
  QString StateText() const;

 signals:
  // The operator asked to save the newest capture.
  void SaveAsked();
  // A capture was completed.
  void Captured();

 private:
  QWidget* BuildControls();
  void Reconfigure();
  void ShowState();
  void ShowCaptures();

  TriggerEngine engine_;
  TriggerState shownState_ = TriggerState::Idle;
  bool shownRearmed_ = false;
  uint64_t shownCompleted_ = 0;

  QComboBox* source_ = nullptr;
  QComboBox* reading_ = nullptr;
  QComboBox* edge_ = nullptr;
  QSpinBox* level_ = nullptr;
  QComboBox* winding_ = nullptr;
  QSpinBox* bound_ = nullptr;
  QDoubleSpinBox* holdOff_ = nullptr;
  QDoubleSpinBox* pre_ = nullptr;
  QDoubleSpinBox* post_ = nullptr;
  QComboBox* mode_ = nullptr;
  QSpinBox* kept_ = nullptr;
  QCheckBox* overlay_ = nullptr;
  QPushButton* arm_ = nullptr;
  QPushButton* save_ = nullptr;
  QLabel* state_ = nullptr;
  StillPlots* plots_ = nullptr;
};

}  // namespace velkor::charts
