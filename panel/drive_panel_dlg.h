// drive_panel_dlg.h: the main panel, the program's one working window. It shows
// every field of PanelValues in a control of its own, offers the port and
// division lists and the command buttons, and runs the poll tick. The panel
// owns the link and the port, device or network, for the whole run. Depends on Qt Widgets,
// the link, the port setup and the emulator's pseudo-terminal runner.
#pragma once

#include <QDialog>
#include <QString>

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>

#include "any_port.h"
#include "link_controller.h"
#include "open_port.h"
#include "panel_bindings.h"
#include "panel_commands.h"
#include "panel_layout.h"
#include "panel_window.h"
#include "tick_reader.h"

class QAction;
class QMenu;

namespace velkor {

namespace sim {
class PtyRunner;
}

class CParameterMark;
class CPortOpener;
class CPortReconnector;
class CPortSelector;

// The title of the prompt for a network port's address.
inline constexpr const char* NETWORK_PROMPT = "Адрес: rfc2217://, tcp://, rfc2217s:// или tcps://";
// Room for an address such as rfc2217://192.168.100.200:4000 in the prompt's field.
inline constexpr int NETWORK_PROMPT_EXTRA_WIDTH = 200;

class CDrivePanelDlg : public QDialog, public PanelWindow {
  Q_OBJECT

 public:
  // Tests hand in terminal calls of their own to see the port setup fail.
  explicit CDrivePanelDlg(QWidget* parent = nullptr, TerminalControl& terminal = SystemTerminalControl());
  ~CDrivePanelDlg() override;

  // The control with this identifier; null for an identifier the layout lacks.
  QWidget* Control(ControlId id) const;
  Link& DriveLink() { return link_; }
  // The emulator while "Эмулятор VK-3" is the chosen port; null otherwise.
  sim::PtyRunner* Emulator() const { return emulator_.get(); }

  // Appends to the context menu (right click on the panel) and makes the
  // action's shortcut work in the panel.
  void AddContextAction(QAction* action);

  void RefreshPanel() override;
  void ReadPanel() override;
  void StartTick() override;
  void StopTick() override;
  void ShowMessage(std::string_view text) override;
  void Beep() override;

  // "Выход" and every close request end here: the selections are read back
  // first, and a jog in force is stopped before the run ends.
  void accept() override;
  // Esc issues the cancel command, which is "Перечитать": the panel stays open.
  void reject() override;

 signals:
  // After every tick, once the controls show the new values.
  void Ticked();
  // After every port choice, whatever became of it, with the chosen entry's text.
  void PortOpened(const QString& portName);

 protected:
  void closeEvent(QCloseEvent* event) override;
  // Enter presses the focused button, and does nothing elsewhere.
  void keyPressEvent(QKeyEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  void BuildControls();
  void BuildMarks();
  void ConnectEvents();

  // Handlers of the event table, each given the control the event came from.
  void OnTick(ControlId source);
  void OnPortChosen(ControlId source);
  void OnDivisionChosen(ControlId source);
  void OnActionButton(ControlId source);
  void OnParameterButton(ControlId source);
  void OnExit(ControlId source);

  // A command the full queue refused is told in words beside the status line.
  void NoteRefused(Queued queued);
  bool AskNetworkPort();
  void UseEmulator(bool wanted);
  void ExplainPortFailure(PortSetup setup);
  // The chosen port opens without holding the window; OnPortOpened goes on.
  void OpenChosenPort();
  void OnPortOpened(bool opened);

  Link link_;
  AnyPort port_;
  std::unique_ptr<sim::PtyRunner> emulator_;
  TickReader tick_{link_, port_};
  QMenu* contextMenu_ = nullptr;
  CPortSelector* portList_ = nullptr;
  CPortOpener* opener_ = nullptr;
  CPortReconnector* reconnector_ = nullptr;
  bool emulatorChosen_ = false;  // the port being opened is the emulator's terminal
  std::string portBefore_;       // the port chosen before the one being opened
  std::unordered_map<int, QWidget*> controls_;
  std::array<QWidget*, std::size(PANEL_BINDINGS)> boundControls_{};
  std::optional<PanelValues> shown_;  // the values as last refreshed; none before the first
  std::array<CParameterMark*, PARAMETER_STATE_COUNT> marks_{};  // in ParameterId order
};

}  // namespace velkor
