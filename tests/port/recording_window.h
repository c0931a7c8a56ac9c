// recording_window.h: a PanelWindow that writes down what the link asks of it,
// in order, with the status line as it stood at every refresh. ReadPanel brings
// in the port name the test has "selected".
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "link_controller.h"
#include "panel_window.h"

namespace velkor::test {

class RecordingWindow : public PanelWindow {
 public:
  explicit RecordingWindow(Link& link) : link_(link) { link.window = this; }

  std::string selectedPort;          // what ReadPanel brings into portName
  std::vector<std::string> calls;    // "ReadPanel", "ShowMessage: ...", ...
  std::vector<std::string_view> statusAtRefresh;
  bool tickRunning = false;

  void RefreshPanel() override {
    calls.push_back("RefreshPanel");
    statusAtRefresh.push_back(link_.values.statusText);
  }
  void ReadPanel() override {
    calls.push_back("ReadPanel");
    link_.values.portName = selectedPort;
  }
  void StartTick() override {
    calls.push_back("StartTick");
    tickRunning = true;
  }
  void StopTick() override {
    calls.push_back("StopTick");
    tickRunning = false;
  }
  void ShowMessage(std::string_view text) override { calls.push_back("ShowMessage: " + std::string(text)); }
  void Beep() override { calls.push_back("Beep"); }

 private:
  Link& link_;
};

}  // namespace velkor::test
