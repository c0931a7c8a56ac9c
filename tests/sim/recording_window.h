// recording_window.h: a PanelWindow for tests. Instead of controls it keeps
// the status line's history: every text that the line shows after a refresh,
// once per change. Depends on the link's PanelWindow and PanelValues.
#pragma once

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "panel_values.h"
#include "panel_window.h"

namespace velkor::sim::testing {

class RecordingWindow : public PanelWindow {
 public:
  explicit RecordingWindow(const PanelValues& values) : values_(values) {}

  void RefreshPanel() override {
    ++refreshes_;
    if (texts_.empty() || texts_.back() != values_.statusText) texts_.emplace_back(values_.statusText);
  }
  void ReadPanel() override {}
  void StartTick() override {}
  void StopTick() override {}
  void ShowMessage(std::string_view text) override { messages_.emplace_back(text); }
  void Beep() override {}

  const std::vector<std::string>& StatusTexts() const { return texts_; }
  bool Showed(std::string_view text) const { return std::find(texts_.begin(), texts_.end(), text) != texts_.end(); }
  size_t Refreshes() const { return refreshes_; }
  void Forget() { texts_.clear(); }

 private:
  const PanelValues& values_;
  std::vector<std::string> texts_;
  std::vector<std::string> messages_;
  size_t refreshes_ = 0;
};

}  // namespace velkor::sim::testing
