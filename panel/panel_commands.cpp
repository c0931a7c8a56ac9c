// panel_commands.cpp: the button handlers and the division selector.
#include "panel_commands.h"

#include <string>

#include "bounded_number.h"
#include "command_queue.h"
#include "input_box.h"

namespace velkor {
namespace {

// Any division the list offers passes; 0 and anything that is not a plain
// number do not. Sixteen bits are all the driver takes.
constexpr uint32_t DIVISION_BOUND = 65536;

Queued Queue(Link& link, uint8_t code, uint16_t value) {
  if (PushCommand(link, code, value)) return Queued::Yes;
  link.window->Beep();
  return Queued::QueueFull;
}

}  // namespace

Queued RunAction(Link& link, const ActionButton& button) {
  const Queued queued = Queue(link, CMD_ACTION, button.action);
  // Stopping always lets the jog run out, even when the queue is full: without
  // keep-alives the driver stops by itself.
  if (button.jog == JogEffect::Stops) link.state.jogActive = false;
  if (button.jog == JogEffect::Starts && queued == Queued::Yes) link.state.jogActive = true;
  return queued;
}

Queued PromptParameter(Link& link, const ParameterButton& button) {
  if (button.beep) link.window->Beep();
  const InputBoxResult answer = RunInputBox(QString::fromUtf8(button.prompt));
  if (!answer.accepted) return Queued::No;
  const BoundedNumber number = ParseBoundedNumber(answer.text.toStdString(), button.bound);
  if (number.valid) return Queue(link, button.code, number.value);
  link.window->ShowMessage(MSG_INPUT_ERROR);
  return Queued::No;
}

Queued SelectDivision(Link& link) {
  link.window->ReadPanel();
  Queued queued = Queued::No;
  const std::string& choice = link.values.divisionChoice;
  if (!choice.empty()) {
    const BoundedNumber division = ParseBoundedNumber(choice, DIVISION_BOUND);
    if (division.valid && division.value != 0) {
      queued = Queue(link, CMD_SET_DIVISION, division.value);
    } else {
      link.window->ShowMessage(MSG_INPUT_ERROR);
    }
  }
  link.window->RefreshPanel();
  return queued;
}

}  // namespace velkor
