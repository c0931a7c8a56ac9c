// parameter_marks.cpp: from a parameter's state to its glyphs and tooltip.
#include "parameter_marks.h"

#include <QStringList>

namespace velkor {
namespace {

// The numbers as the displays show them; the smoothing switch in words.
QString ValueText(ParameterId id, int32_t value) {
  if (id == ParameterId::Smoothing) return value ? QStringLiteral("вкл.") : QStringLiteral("выкл.");
  return QString::number(value);
}

QString PendingLine(ParameterId id, const MarkState& m) {
  const QString asked = QStringLiteral("запрошено %1: ").arg(ValueText(id, m.requested));
  switch (m.request) {
    case RequestPhase::Queued: return asked + QStringLiteral("ждёт отправки в очереди команд");
    case RequestPhase::InFlight: return asked + QStringLiteral("отправлено, устройство ещё не подтвердило");
    case RequestPhase::AwaitingReport:
    case RequestPhase::None: break;
  }
  return asked + QStringLiteral("устройство подтвердило, его сообщение о значении ещё не пришло");
}

QString Line(ParameterId id, const MarkState& m, Mark mark) {
  switch (mark) {
    case Mark::Mismatch:
      return QStringLiteral("запрошено %1, устройство сообщило %2")
          .arg(ValueText(id, m.mismatchRequested), ValueText(id, m.mismatchReported));
    case Mark::Pending: return PendingLine(id, m);
    case Mark::ChangedByDriver:
      return QStringLiteral("изменено устройством: %1 → %2").arg(ValueText(id, m.changedFrom), ValueText(id, m.changedTo));
    case Mark::Unsaved:
      return QStringLiteral("не записано в EEPROM: в EEPROM %1, сейчас %2")
          .arg(ValueText(id, m.saved), ValueText(id, m.value));
  }
  return {};
}

// The panel cannot read the EEPROM: what it calls saved is inferred.
constexpr const char* SAVED_EXPLAINED =
    "В EEPROM считается то, что устройство сообщило при подключении\n"
    "(включаясь, оно загружает параметры из EEPROM),\n"
    "или то, что было при последнем «Записать в EEPROM».";

}  // namespace

MarkState MarkStateOf(const ParameterState& s) {
  MarkState m;
  if (Pending(s)) {
    m.request = s.request;
    m.requested = s.request == RequestPhase::AwaitingReport ? s.acknowledged : s.requested;
  }
  if (s.mismatch) {
    m.mismatch = true;
    m.mismatchRequested = s.mismatchRequested;
    m.mismatchReported = s.mismatchReported;
  }
  if (s.changedByDriver) {
    m.changedByDriver = true;
    m.changedFrom = s.changedFrom;
    m.changedTo = s.changedTo;
  }
  if (Unsaved(s)) {
    m.unsaved = true;
    m.saved = s.saved;
    m.value = s.value;
  }
  return m;
}

bool Has(const MarkState& m, Mark mark) {
  switch (mark) {
    case Mark::Mismatch: return m.mismatch;
    case Mark::Pending: return m.request != RequestPhase::None;
    case Mark::ChangedByDriver: return m.changedByDriver;
    case Mark::Unsaved: return m.unsaved;
  }
  return false;
}

bool AnyMark(const MarkState& m) { return m != MarkState{}; }

char16_t Glyph(Mark mark) {
  switch (mark) {
    case Mark::Mismatch: return GLYPH_MISMATCH;
    case Mark::Pending: return GLYPH_PENDING;
    case Mark::ChangedByDriver: return GLYPH_CHANGED_BY_DRIVER;
    case Mark::Unsaved: return GLYPH_UNSAVED;
  }
  return u' ';
}

QString MarkGlyphs(const MarkState& m) {
  QString glyphs;
  for (Mark mark : MARKS) {
    if (Has(m, mark)) glyphs += QChar(Glyph(mark));
  }
  return glyphs;
}

QString MarkToolTip(ParameterId id, const MarkState& m) {
  QStringList lines;
  for (Mark mark : MARKS) {
    if (Has(m, mark)) lines << QChar(Glyph(mark)) + QStringLiteral(" ") + Line(id, m, mark);
  }
  if (m.unsaved) lines << QString::fromUtf8(SAVED_EXPLAINED);
  return lines.join(u'\n');
}

}  // namespace velkor
