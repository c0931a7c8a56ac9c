// drive_panel_dlg.cpp: building the panel from its layout, its event table,
// the copies between PanelValues and the controls, and the tick.
#include "drive_panel_dlg.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>

#include <algorithm>
#include <iterator>

#include "dialog_units.h"
#include "exit_stop.h"
#include "frame_pacer.h"
#include "input_box.h"
#include "layout_builder.h"
#include "make_port.h"
#include "network_address.h"
#include "open_port.h"
#include "panel_commands.h"
#include "panel_journal.h"
#include "parameter_mark.h"
#include "port_failure_hint.h"
#include "port_opener.h"
#include "port_reconnector.h"
#include "port_selector.h"
#include "pty_runner.h"
#include "status_texts.h"
#include "transient_note.h"

namespace velkor {
namespace {

enum class Event { Timer, SelectionChanged, Clicked };

struct EventEntry {
  Event event;
  ControlId source;
  void (CDrivePanelDlg::*handler)(ControlId);
};

// What a control shows, as ReadPanel takes it: a list's chosen entry (for the
// port list, the port that entry opens), a display's or a button's text.
QString ShownText(QWidget* control) {
  if (auto* ports = qobject_cast<CPortSelector*>(control)) return ports->PortName();
  if (auto* list = qobject_cast<QComboBox*>(control)) return list->currentText();
  if (auto* display = qobject_cast<QLineEdit*>(control)) return display->text();
  return static_cast<QAbstractButton*>(control)->text();
}

void Show(QWidget* control, const QString& text) {
  if (auto* ports = qobject_cast<CPortSelector*>(control)) {
    ports->SelectPort(text);
  } else if (auto* list = qobject_cast<QComboBox*>(control)) {
    list->setCurrentIndex(list->findText(text));
  } else if (auto* display = qobject_cast<QLineEdit*>(control)) {
    display->setText(text);
  } else {
    static_cast<QAbstractButton*>(control)->setText(text);
  }
}

template <class Row, size_t N>
const Row& RowOf(const Row (&table)[N], ControlId control) {
  return *std::find_if(std::begin(table), std::end(table), [&](const Row& row) { return row.control == control; });
}

}  // namespace

CDrivePanelDlg::CDrivePanelDlg(QWidget* parent, TerminalControl& terminal) : QDialog(parent), port_(terminal) {
  link_.window = this;
  setWindowTitle(QString::fromUtf8(PANEL_TITLE));
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  // exec() would otherwise make the panel application-modal and so block the
  // numeric prompt, a window of its own. There is nothing under the panel to block.
  setWindowModality(Qt::WindowModal);
  contextMenu_ = new QMenu(this);
  contextMenu_->setSeparatorsCollapsible(false);

  BuildControls();
  ConnectEvents();
  new FramePacer(this);
  opener_ = new CPortOpener(port_, this);
  connect(opener_, &CPortOpener::Done, this, &CDrivePanelDlg::OnPortOpened);
  reconnector_ = new CPortReconnector(link_, port_, this);
  connect(this, &CDrivePanelDlg::Ticked, reconnector_, &CPortReconnector::AfterTick);
  connect(this, &CDrivePanelDlg::Ticked, new PanelJournal(link_, Control(ID_STATUS)), &PanelJournal::AfterTick);
  connect(reconnector_, &CPortReconnector::PortLost, this, [this](bool awaited) {
    const char* hint = awaited ? HINT_UNPLUGGED_AWAITED : HINT_UNPLUGGED;
    if (KindOfPort(link_.values.portName) == PortKind::Network) hint = HINT_DISCONNECTED_AWAITED;
    // A busy server's words say who has the device.
    const NetworkPort* network = NetworkPortOf(port_);
    const bool busy = network && network->Failure() == NetworkFailure::ServerBusy;
    Control(ID_STATUS)->setToolTip(busy ? QString::fromStdString(port_.LastErrorText() + "\n" + HINT_NETWORK_BUSY_AWAITED)
                                        : QString::fromUtf8(hint));
  });
  // Turned away as it opened: as a port that did not open, with the server's words.
  connect(reconnector_, &CPortReconnector::TurnedAway, this, [this] {
    link_.values.statusText = STATUS_OPEN_FAILED;
    link_.driverPort.clear();
    RefreshPanel();
    ExplainPortFailure(PortSetup::OpenFailed);
  });
  // The port is open again: set up as if chosen, without closing it first.
  connect(reconnector_, &CPortReconnector::PortBack, this, [this] {
    portBefore_ = BeginPortChoice(link_, port_);
    OnPortOpened(true);
  });
  RefreshPanel();
  portList_->setFocus();
}

CDrivePanelDlg::~CDrivePanelDlg() {
  tick_.Stop();
  port_.Close();
}

void CDrivePanelDlg::BuildControls() {
  const DialogUnits units = DialogUnitsOf(PanelFont());
  setFont(FittingFont(PanelFont(), units));
  setFixedSize(units.ToPixelsX(PANEL_WIDTH_DU), units.ToPixelsY(PANEL_HEIGHT_DU));

  QWidget* previousStop = nullptr;
  for (const ControlRow& row : PANEL_LAYOUT) {
    QWidget* control = CreateControl(row, units, this);
    if (row.id != NO_ID) controls_[row.id] = control;
    // Boxes only frame; lying under the controls they frame, they take no clicks from them.
    if (row.kind == ControlKind::GroupBox) control->lower();
    if (control->focusPolicy() & Qt::TabFocus) {
      if (previousStop) setTabOrder(previousStop, control);
      previousStop = control;
    }
  }
  portList_ = static_cast<CPortSelector*>(Control(ID_PORT_LIST));
  for (size_t i = 0; i < std::size(PANEL_BINDINGS); ++i) boundControls_[i] = Control(PANEL_BINDINGS[i].control);
  BuildMarks();
}

// Made after every control, so that each lies above its display.
void CDrivePanelDlg::BuildMarks() {
  for (size_t i = 0; i < marks_.size(); ++i) {
    const ControlId id = MARKED_CONTROLS[i];
    marks_[i] = new CParameterMark(static_cast<ParameterId>(i), id, Control(id), this);
  }
}

// The event table. "Деление шага" (ID_DIVISION) has no entry: it does nothing.
void CDrivePanelDlg::ConnectEvents() {
  static constexpr EventEntry EVENT_TABLE[] = {
      {Event::Timer, NO_ID, &CDrivePanelDlg::OnTick},
      {Event::SelectionChanged, ID_PORT_LIST, &CDrivePanelDlg::OnPortChosen},
      {Event::SelectionChanged, ID_DIVISION_LIST, &CDrivePanelDlg::OnDivisionChosen},
      {Event::Clicked, ID_REREAD, &CDrivePanelDlg::OnActionButton},
      {Event::Clicked, ID_MOTION_CURRENT, &CDrivePanelDlg::OnParameterButton},
      {Event::Clicked, ID_REDUCTION_DELAY, &CDrivePanelDlg::OnParameterButton},
      {Event::Clicked, ID_HOLDING_CURRENT, &CDrivePanelDlg::OnParameterButton},
      {Event::Clicked, ID_STEP_LEFT, &CDrivePanelDlg::OnActionButton},
      {Event::Clicked, ID_SAVE_EEPROM, &CDrivePanelDlg::OnActionButton},
      {Event::Clicked, ID_STEP_RIGHT, &CDrivePanelDlg::OnActionButton},
      {Event::Clicked, ID_STEPS, &CDrivePanelDlg::OnParameterButton},
      {Event::Clicked, ID_KP, &CDrivePanelDlg::OnParameterButton},
      {Event::Clicked, ID_KL, &CDrivePanelDlg::OnParameterButton},
      {Event::Clicked, ID_AUTOTUNE, &CDrivePanelDlg::OnActionButton},
      {Event::Clicked, ID_TEST, &CDrivePanelDlg::OnActionButton},
      {Event::Clicked, ID_ROTATE_LEFT, &CDrivePanelDlg::OnActionButton},
      {Event::Clicked, ID_ROTATE_RIGHT, &CDrivePanelDlg::OnActionButton},
      {Event::Clicked, ID_STOP, &CDrivePanelDlg::OnActionButton},
      {Event::Clicked, ID_JOG_SPEED, &CDrivePanelDlg::OnParameterButton},
      {Event::Clicked, ID_JOG_ACCEL, &CDrivePanelDlg::OnParameterButton},
      {Event::Clicked, ID_ZERO_POSITION, &CDrivePanelDlg::OnActionButton},
      {Event::Clicked, ID_FAULT_CURRENT, &CDrivePanelDlg::OnParameterButton},
      {Event::Clicked, ID_SMOOTHING, &CDrivePanelDlg::OnActionButton},
      {Event::Clicked, ID_EXIT, &CDrivePanelDlg::OnExit},
  };
  for (const EventEntry& entry : EVENT_TABLE) {
    const auto run = [this, entry] { (this->*entry.handler)(entry.source); };
    switch (entry.event) {
      case Event::Timer:
        connect(&tick_, &TickReader::Ticked, this, run);
        break;
      case Event::SelectionChanged:
        // activated, not currentIndexChanged: choosing the chosen port again opens it again.
        connect(static_cast<QComboBox*>(Control(entry.source)), &QComboBox::activated, this, run);
        break;
      case Event::Clicked:
        connect(static_cast<QAbstractButton*>(Control(entry.source)), &QAbstractButton::clicked, this, run);
        break;
    }
  }
}

QWidget* CDrivePanelDlg::Control(ControlId id) const {
  const auto found = controls_.find(id);
  return found == controls_.end() ? nullptr : found->second;
}

void CDrivePanelDlg::AddContextAction(QAction* action) {
  contextMenu_->addAction(action);
  addAction(action);
}

void CDrivePanelDlg::RefreshPanel() {
  for (size_t i = 0; i < std::size(PANEL_BINDINGS); ++i) {
    const BoundField& field = PANEL_BINDINGS[i].field;
    // Formatting every field into a text to compare it was most of a tick's
    // work: a field the link left as it was is shown as it was. The lists are
    // always compared, since the operator moves them too.
    if (shown_ && !IsOperatorChoice(field) && !FieldDiffers(link_.values, *shown_, field)) continue;
    const QString text = FieldText(link_.values, field);
    // Rewriting an unchanged text would redraw at the poll rate and drop the
    // operator's selection in a display.
    if (ShownText(boundControls_[i]) != text) Show(boundControls_[i], text);
  }
  shown_ = link_.values;
  // Each mark compares its small state with the one it shows and does
  // nothing while they agree, which is nearly every tick.
  for (size_t i = 0; i < marks_.size(); ++i) marks_[i]->Show(MarkStateOf(link_.parameters.parameters[i]));
}

void CDrivePanelDlg::ReadPanel() {
  for (size_t i = 0; i < std::size(PANEL_BINDINGS); ++i) {
    ReadFieldText(link_.values, PANEL_BINDINGS[i].field, ShownText(boundControls_[i]));
  }
}

void CDrivePanelDlg::StartTick() { tick_.Start(); }
void CDrivePanelDlg::StopTick() { tick_.Stop(); }

void CDrivePanelDlg::ShowMessage(std::string_view text) {
  QMessageBox box(QMessageBox::NoIcon, QCoreApplication::applicationName(),
                  QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())), QMessageBox::Ok, this);
  box.setTextFormat(Qt::PlainText);  // it may name a port
  // It blocks the panel, not a numeric prompt that may be open beside it.
  box.setWindowModality(Qt::WindowModal);
  box.exec();
}

void CDrivePanelDlg::Beep() { QApplication::beep(); }

void CDrivePanelDlg::accept() {
  ReadPanel();
  // The panel goes at once; its run ends once a jog in force has been stopped.
  hide();
  EndJogForExit(link_, tick_.Running());
  QDialog::accept();
}

void CDrivePanelDlg::reject() { OnActionButton(ID_REREAD); }

void CDrivePanelDlg::closeEvent(QCloseEvent* event) {
  accept();
  event->accept();
}

void CDrivePanelDlg::keyPressEvent(QKeyEvent* event) {
  if (event->key() != Qt::Key_Return && event->key() != Qt::Key_Enter) {
    QDialog::keyPressEvent(event);
    return;
  }
  if (auto* button = qobject_cast<QAbstractButton*>(focusWidget())) button->click();
  event->accept();
}

void CDrivePanelDlg::contextMenuEvent(QContextMenuEvent* event) {
  if (!contextMenu_->isEmpty()) contextMenu_->exec(event->globalPos());
}

// The tick reader has read, dispatched and refreshed by now.
void CDrivePanelDlg::OnTick(ControlId) { emit Ticked(); }

void CDrivePanelDlg::OnPortChosen(ControlId) {
  if (portList_->IsNetworkPrompt(portList_->currentIndex()) && !AskNetworkPort()) return;
  emulatorChosen_ = portList_->IsEmulator(portList_->currentIndex());
  reconnector_->Forget();
  if (emulatorChosen_) UseEmulator(true);
  OpenChosenPort();
}

void CDrivePanelDlg::OpenChosenPort() {
  portBefore_ = BeginPortChoice(link_, port_);
  opener_->Start(link_.values.portName);
}

void CDrivePanelDlg::OnPortOpened(bool opened) {
  const PortSetup setup = FinishPortChoice(link_, port_, opened, portBefore_);
  // Only now is the emulator's terminal no longer the open port.
  if (!emulatorChosen_) UseEmulator(false);
  ExplainPortFailure(setup);
  emit PortOpened(portList_->currentText());
}

// The address goes into the list and becomes the choice; a closed prompt or an
// address not understood leaves the port as it was.
bool CDrivePanelDlg::AskNetworkPort() {
  const InputBoxResult answer = RunInputBox(QString::fromUtf8(NETWORK_PROMPT), NETWORK_PROMPT_EXTRA_WIDTH);
  const QString address = answer.text.trimmed();
  if (answer.accepted && ParseNetworkAddress(address.toStdString())) {
    portList_->AddNetworkPort(address);
    return true;
  }
  portList_->SelectPort(QString::fromStdString(link_.values.portName));
  if (answer.accepted) ShowMessage(MSG_INPUT_ERROR);
  return false;
}

void CDrivePanelDlg::OnDivisionChosen(ControlId) { NoteRefused(SelectDivision(link_)); }

void CDrivePanelDlg::OnActionButton(ControlId source) { NoteRefused(RunAction(link_, RowOf(ACTION_BUTTONS, source))); }

void CDrivePanelDlg::OnParameterButton(ControlId source) {
  NoteRefused(PromptParameter(link_, RowOf(PARAMETER_BUTTONS, source)));
}

void CDrivePanelDlg::NoteRefused(Queued queued) {
  if (queued == Queued::QueueFull) ShowTransientNote(Control(ID_STATUS), QString::fromUtf8(NOTE_QUEUE_FULL));
}

void CDrivePanelDlg::OnExit(ControlId) { accept(); }

// The emulator keeps running while it stays the chosen port, so choosing it
// again only reopens its terminal and wakes it anew.
void CDrivePanelDlg::UseEmulator(bool wanted) {
  if (wanted && !emulator_) {
    emulator_ = std::make_unique<sim::PtyRunner>();
    if (!emulator_->Start()) emulator_.reset();
  } else if (!wanted) {
    emulator_.reset();
  }
  portList_->SetEmulatorPath(emulator_ ? QString::fromStdString(emulator_->SlavePath()) : QString());
}

// The tooltip speaks of this choice: after a refused setup the status line
// may still read "Не удалось открыть порт" from an earlier one.
void CDrivePanelDlg::ExplainPortFailure(PortSetup setup) {
  Control(ID_STATUS)->setToolTip(QString::fromStdString(PortSetupHint(setup, port_, link_.values.portName)));
}

}  // namespace velkor
