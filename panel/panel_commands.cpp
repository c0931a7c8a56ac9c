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

bool Queue(Link& link, uint8_t code, uint16_t value) {
  if (QueuePush(link.queue, code, value)) return true;
  link.window->Beep();
  return false;
}

}  // namespace

void RunAction(Link& link, const ActionButton& button) {
  const bool queued = Queue(link, CMD_ACTION, button.action);
  // Stopping always lets the jog run out, even when the queue is full: without
  // keep-alives the driver stops by itself.
  if (button.jog == JogEffect::Stops) link.state.jogActive = false;
  if (button.jog == JogEffect::Starts && queued) link.state.jogActive = true;
}

void PromptParameter(Link& link, const ParameterButton& button) {
  if (button.beep) link.window->Beep();
  const InputBoxResult answer = RunInputBox(QString::fromUtf8(button.prompt));
  if (!answer.accepted) return;
  const BoundedNumber number = ParseBoundedNumber(answer.text.toStdString(), button.bound);
  if (number.valid) {
    Queue(link, button.code, number.value);
  } else {
    link.window->ShowMessage(MSG_INPUT_ERROR);
  }
}

void SelectDivision(Link& link) {
  link.window->ReadPanel();
  const std::string& choice = link.values.divisionChoice;
  if (!choice.empty()) {
    const BoundedNumber division = ParseBoundedNumber(choice, DIVISION_BOUND);
    if (division.valid && division.value != 0) {
      Queue(link, CMD_SET_DIVISION, division.value);
    } else {
      link.window->ShowMessage(MSG_INPUT_ERROR);
    }
  }
  link.window->RefreshPanel();
}

}  // namespace velkor
