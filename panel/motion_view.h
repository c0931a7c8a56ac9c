// motion_view.h: what the current analysis window asks of each of its tabs
// that move the motor (crawl, sweep, auto-tuning): step the run after every
// tick, stop it at once, and put what it measured into the report. A run
// starts only once the operator has confirmed it in a question that blocks
// nothing. Depends on Qt Widgets, the link and the report.
#pragma once

#include <QString>
#include <QWidget>

#include <functional>
#include <string>
#include <vector>

#include "analysis_report.h"
#include "link_controller.h"

namespace velkor {

enum class RunEnd : uint8_t;

// How a run ended, in the operator's words.
QString RunEndText(RunEnd end);

// Seconds of the link's steady clock: the time the runs are stepped with.
inline double LinkNow(const Link& link) { return link.steadyClock(); }

class MotionView : public QWidget {
  Q_OBJECT

 public:
  MotionView(Link& link, QWidget* parent) : QWidget(parent), link_(link) {}

  virtual bool Running() const = 0;
  // After every tick while Running().
  virtual void Step(double now) = 0;
  virtual void Stop(double now) = 0;
  // A few times a second while shown: the figures of a run going on.
  virtual void Refresh() = 0;
  // The run's tables and plots, and its figures as a JSON member
  // ("name": value), or nothing before a run.
  virtual void AddToReport(AnalysisReport& report, std::vector<std::string>& json) const = 0;
  // Another tab's run is going: this one may not start.
  void AllowStart(bool allowed) {
    startAllowed_ = allowed;
    ShowButtons();
  }

 signals:
  void Started();
  void Ended();

 protected:
  // The question before the motor moves; `go` runs on the operator's yes,
  // unless the link or another run has changed things meanwhile.
  void ConfirmMotion(const QString& text, std::function<void()> go);
  virtual void ShowButtons() = 0;

  Link& link_;
  bool startAllowed_ = true;
};

}  // namespace velkor
