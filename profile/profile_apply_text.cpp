// profile_apply_text.cpp: the words for an apply, in English and Russian.
#include "profile_apply_text.h"

#include <array>
#include <string_view>

#include "panel_layout.h"

namespace velkor {
namespace {

// The panel's button for each of the ten, in ParameterId order: its caption
// names the row. Smoothing's button shows its state, so it has a name of its own.
constexpr std::array<ControlId, PARAMETER_COUNT> BUTTONS = {
    ID_DIVISION, ID_MOTION_CURRENT, ID_REDUCTION_DELAY, ID_HOLDING_CURRENT, ID_FAULT_CURRENT,
    ID_KP,       ID_KL,             ID_STEPS,           ID_JOG_SPEED,       ID_JOG_ACCEL,
};
constexpr std::string_view SMOOTHING_CAPTION = "Сглаживание";

std::string_view ButtonCaption(ControlId id) {
  for (const ControlRow& row : layout_rows::PANEL_LAYOUT) {
    if (row.id == id && row.kind == ControlKind::Button) return row.caption;
  }
  return {};
}

bool English(Language language) { return language == Language::English; }

// The captions of the rows with this status, joined: "motionCurrent, steps".
std::string RowsWith(const ProfileApply& apply, ApplyRowStatus status, Language language) {
  std::string list;
  for (const ApplyRow& row : Rows(apply)) {
    if (row.status == status) list += (list.empty() ? "" : ", ") + ParameterCaption(row.id, language);
  }
  return list;
}

std::string Mismatches(const ProfileApply& apply, Language language) {
  std::string list;
  for (const ApplyRow& row : Rows(apply)) {
    if (row.status != ApplyRowStatus::Mismatch) continue;
    const std::string asked = ProfileValueText(row.id, row.profileValue, language);
    const std::string got = ProfileValueText(row.id, row.reported, language);
    list += (list.empty() ? "" : "; ") + ParameterCaption(row.id, language) +
            (English(language) ? " (asked " + asked + ", the driver reported " + got + ")"
                               : " (запрошено " + asked + ", устройство сообщило " + got + ")");
  }
  return list;
}

std::string DroppedText(const ProfileApply& apply, Language language) {
  const bool en = English(language);
  std::string text = en ? "The link dropped during the apply." : "Связь прервалась во время применения.";
  // Rows sent and acknowledged are in the driver's memory; whether the re-read
  // confirmed them depends on how far the apply came.
  const std::string applied = RowsWith(apply, ApplyRowStatus::Acknowledged, language);
  const std::string confirmed = RowsWith(apply, ApplyRowStatus::Confirmed, language);
  const std::string notApplied = RowsWith(apply, ApplyRowStatus::NotApplied, language);
  const std::string uncertain = RowsWith(apply, ApplyRowStatus::Uncertain, language);
  if (apply.phase == ApplyPhase::Saving) {
    if (apply.saveSent) {
      text += en ? " Every value was confirmed. The save to EEPROM was sent but not acknowledged: "
                   "it may or may not have happened."
                 : " Все значения подтверждены. Запись в EEPROM отправлена, но устройство её не подтвердило: "
                   "она могла произойти, а могла и нет.";
    } else {
      text += en ? " Every value was confirmed; the save to EEPROM was not sent."
                 : " Все значения подтверждены; запись в EEPROM не отправлена.";
    }
    return text;
  }
  if (!applied.empty()) text += (en ? " Applied, not verified: " : " Применено, без проверки: ") + applied + ".";
  if (!uncertain.empty()) {
    text += (en ? " Sent but not acknowledged, unknown: " : " Отправлено без подтверждения, неизвестно: ") +
            uncertain + ".";
  }
  if (!notApplied.empty()) text += (en ? " Not applied: " : " Не применено: ") + notApplied + ".";
  if (!confirmed.empty()) text += (en ? " Confirmed: " : " Подтверждено: ") + confirmed + ".";
  text += en ? " Nothing was saved to EEPROM; apply the profile again once the link is back."
             : " В EEPROM ничего не записано; после восстановления связи примените профиль снова.";
  return text;
}

}  // namespace

std::string ParameterCaption(ParameterId id, Language language) {
  if (English(language)) return std::string(ParameterName(id));
  return std::string(id == ParameterId::Smoothing ? SMOOTHING_CAPTION : ButtonCaption(BUTTONS[Index(id)]));
}

std::string ProfileValueText(ParameterId id, int32_t value, Language language) {
  if (id != ParameterId::Smoothing) return std::to_string(value);
  if (English(language)) return value != 0 ? "on" : "off";
  return value != 0 ? "вкл." : "выкл.";
}

std::string RowStatusText(const ApplyRow& row, Language language) {
  const bool en = English(language);
  switch (row.status) {
    case ApplyRowStatus::Unchanged: return en ? "same" : "совпадает";
    case ApplyRowStatus::Queued: return en ? "queued" : "в очереди";
    case ApplyRowStatus::InFlight: return en ? "sent" : "отправлено";
    case ApplyRowStatus::Acknowledged: return en ? "acknowledged" : "принято";
    case ApplyRowStatus::Confirmed: return en ? "confirmed" : "подтверждено";
    case ApplyRowStatus::Mismatch: {
      const std::string got = ProfileValueText(row.id, row.reported, language);
      return en ? "mismatch: the driver reported " + got : "расхождение: устройство сообщило " + got;
    }
    case ApplyRowStatus::NotApplied: return en ? "not applied" : "не применено";
    case ApplyRowStatus::Uncertain: return en ? "unknown: not acknowledged" : "неизвестно: нет подтверждения";
  }
  return "";
}

std::string ApplyOutcomeText(const ProfileApply& apply, Language language) {
  const bool en = English(language);
  switch (apply.outcome) {
    case ApplyOutcome::Running:
      switch (apply.phase) {
        case ApplyPhase::Setting: return en ? "Sending the values..." : "Отправка значений…";
        case ApplyPhase::Rereading: return en ? "Reading the values back..." : "Проверка: устройство перечитывает значения…";
        case ApplyPhase::Saving:
          return (en ? "Saving to EEPROM..." : "Запись в EEPROM…") + AlsoStoredText(apply, language);
      }
      return "";
    case ApplyOutcome::NothingToDo:
      return en ? "The driver already holds these values: nothing was sent."
                : "Устройство уже содержит эти значения: ничего не отправлено.";
    case ApplyOutcome::NotReady:
      return en ? "The driver's values are not all known, or one is being changed: nothing was sent. "
                  "Wait for the link and try again."
                : "Значения устройства ещё не получены или меняются: ничего не отправлено. "
                  "Дождитесь связи и повторите.";
    case ApplyOutcome::QueueFull:
      return en ? "The command queue is full: the apply stopped. Wait for the queue to empty and try again."
                : "Очередь команд заполнена: применение остановлено. Дождитесь её отправки и повторите.";
    case ApplyOutcome::Confirmed:
      return en ? "Every value confirmed by the driver; no save to EEPROM was asked for."
                : "Все значения подтверждены устройством; запись в EEPROM не запрашивалась.";
    case ApplyOutcome::Saved:
      return (en ? "Every value confirmed by the driver; the save to EEPROM acknowledged by the driver."
                 : "Все значения подтверждены устройством; запись в EEPROM подтверждена устройством.") +
             AlsoStoredText(apply, language);
    case ApplyOutcome::Mismatch:
      return (en ? "The driver reported other values than asked: " : "Устройство сообщило другие значения: ") +
             Mismatches(apply, language) +
             (apply.save ? (en ? ". Nothing was saved to EEPROM." : ". В EEPROM ничего не записано.") : ".");
    case ApplyOutcome::LinkDropped:
      return DroppedText(apply, language) + (apply.saveSent ? AlsoStoredText(apply, language) : "");
  }
  return "";
}

std::string AlsoStoredList(const ProfileApply& apply, Language language) {
  const bool en = English(language);
  std::string list;
  for (const AlsoStored& a : AlsoStoredRows(apply)) {
    list += (list.empty() ? "" : "; ") + ParameterCaption(a.id, language) + " " + ProfileValueText(a.id, a.value, language);
    if (a.savedKnown) {
      const std::string saved = ProfileValueText(a.id, a.saved, language);
      list += en ? " (last seen saved: " + saved + ")" : " (при последней записи было " + saved + ")";
    } else {
      list += en ? " (the EEPROM's value unknown)" : " (что в EEPROM, неизвестно)";
    }
  }
  return list;
}

// The driver saves everything it holds, not only the profile.
std::string AlsoStoredText(const ProfileApply& apply, Language language) {
  const std::string list = AlsoStoredList(apply, language);
  if (list.empty()) return "";
  return (English(language) ? " The save stores the driver's other values too, as it holds them: "
                            : " Запись сохраняет и другие значения устройства, как они есть: ") +
         list + ".";
}

}  // namespace velkor
