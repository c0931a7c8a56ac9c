// headless_window.h: the window the link serves when there is none: it keeps
// the status text where the link writes it, brings in the port to open, and
// tells the port setup's message boxes on standard error, in English.
// Depends on the link's PanelWindow interface.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "link_controller.h"
#include "panel_window.h"

namespace velkor::ctl {

class HeadlessWindow : public PanelWindow {
 public:
  HeadlessWindow(Link& link, std::FILE* messages) : link_(link), messages_(messages) { link.window = this; }

  // What ReadPanel brings into the link's port name.
  std::string device;
  // While set, a message is kept here instead of told: the port setup's
  // caller tells it once, with its cause.
  bool holdMessages = false;
  std::string heldMessage;

  void RefreshPanel() override {}
  void ReadPanel() override { link_.values.portName = device; }
  // The tick is the command's own loop, which runs once the port is set up.
  void StartTick() override {}
  void StopTick() override {}
  void ShowMessage(std::string_view text) override;
  // A tool run from scripts keeps quiet.
  void Beep() override {}

 private:
  Link& link_;
  std::FILE* messages_;
};

// The English for a status text or one of the port setup's messages; any
// other text as it is.
std::string EnglishMessage(std::string_view text);

}  // namespace velkor::ctl
