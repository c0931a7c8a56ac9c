// panel_window.h: what the link needs of the window it serves. The Qt panel
// implements it; tests put a recorder in its place.
#pragma once

#include <string_view>

namespace velkor {

class PanelWindow {
 public:
  virtual ~PanelWindow() = default;
  // Copies PanelValues into the controls, touching only those that changed.
  virtual void RefreshPanel() = 0;
  // Copies the controls back into PanelValues (the selectors' choices).
  virtual void ReadPanel() = 0;
  // The 1 ms poll tick that runs PollTick (or its two halves around a read).
  virtual void StartTick() = 0;
  virtual void StopTick() = 0;
  // A modal message box with an OK button and the application's caption.
  virtual void ShowMessage(std::string_view text) = 0;
  virtual void Beep() = 0;
};

}  // namespace velkor
