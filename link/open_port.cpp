// open_port.cpp: the port setup, step by step, each refusal with its own message.
#include "open_port.h"

#include <string>

#include "codes.h"
#include "status_texts.h"

namespace velkor {
namespace {

// Everything between opening and waking. False after showing the operator
// which step the port refused.
bool ConfigurePort(LinePort& port, PanelWindow& window) {
  port.Purge();
  if (!port.SetLineSettings()) {
    window.ShowMessage(MSG_LINE_SETTINGS_FAILED);
    return false;
  }
  if (!port.SetTimeouts(DRIVER_TIMEOUTS)) {
    window.ShowMessage(MSG_TIMEOUTS_FAILED);
    return false;
  }
  if (!port.RaiseDtr() || !port.LowerRts()) {
    window.ShowMessage(MSG_MODEM_LINES_FAILED);
    return false;
  }
  return true;
}

}  // namespace

std::string BeginPortChoice(Link& link, LinePort& port) {
  PanelWindow& window = *link.window;
  std::string previous = link.values.portName;
  window.ReadPanel();
  window.StopTick();
  window.Beep();
  // The link always reads this one port object; while it is closed or
  // unconfigured the tick is stopped, and a stray read would only wait and
  // return nothing.
  link.state.port = &port;
  return previous;
}

PortSetup FinishPortChoice(Link& link, LinePort& port, bool opened, const std::string& previous) {
  PanelWindow& window = *link.window;
  PortSetup setup = PortSetup::NotConfigured;
  if (!opened) {
    link.values.statusText = STATUS_OPEN_FAILED;
    setup = PortSetup::OpenFailed;
  } else if (ConfigurePort(port, window)) {
    port.Write(&WAKE_BYTE, 1);
    link.values.statusText = STATUS_CONNECT_DEVICE;
    window.StartTick();
    setup = PortSetup::Polling;
  }
  // Whatever became of the choice, the old port is closed: what was queued
  // or on its way to its driver ends here, and an apply learns of it.
  ResetLink(link);
  link.state.drop = LinkDrop::None;
  // The driver that was talking on this very port until now is still the
  // one there. Another port has another driver, or none; on the same port
  // after the driver was lost, the one that answers may have restarted.
  if (link.values.portName != previous) {
    ForgetDriver(link.parameters, false);
  } else if (link.driverPort.empty()) {
    ForgetDriver(link.parameters, true);
  }
  link.driverPort = setup == PortSetup::Polling ? link.values.portName : std::string();
  window.RefreshPanel();
  return setup;
}

PortSetup OpenPort(Link& link, LinePort& port) {
  const std::string previous = BeginPortChoice(link, port);
  port.Close();
  return FinishPortChoice(link, port, port.Open(link.values.portName), previous);
}

}  // namespace velkor
