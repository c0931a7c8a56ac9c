// motion_view.cpp: the confirmation that comes before any motion.
#include "motion_view.h"

#include "motion_run.h"
#include "side_dialog.h"

namespace velkor {
namespace {

bool Connected(const Link& link) { return link.state.readyWord == READY_CONNECTED; }

constexpr const char* NOT_CONNECTED = "Нет связи с приводом: выберите порт на панели и дождитесь соединения.";

}  // namespace

QString RunEndText(RunEnd end) {
  switch (end) {
    case RunEnd::Running: return "идёт";
    case RunEnd::Finished: return "завершён";
    case RunEnd::Stopped: return "остановлен оператором; показано измеренное до остановки";
    case RunEnd::LinkLost: return "связь потеряна: без подтверждений привод сам останавливает вращение";
    case RunEnd::QueueFull: return "не начат: очередь команд полна";
    case RunEnd::NoAnswer: return "прерван: привод не ответил вовремя";
    case RunEnd::NotReady: return "не начат: параметры привода ещё не получены или меняются";
  }
  return {};
}

void MotionView::ConfirmMotion(const QString& text, std::function<void()> go) {
  if (!Connected(link_)) {
    ShowMessage(this, NOT_CONNECTED);
    return;
  }
  AskToConfirm(this, text + "\n\nОстановить: Esc в этом окне или «Стоп» на панели.", "Пуск", [this, go] {
    // The link may have dropped, or another run begun, while the question was open.
    if (!Connected(link_)) {
      ShowMessage(this, NOT_CONNECTED);
    } else if (startAllowed_ && !Running()) {
      go();
    }
  });
}

}  // namespace velkor
