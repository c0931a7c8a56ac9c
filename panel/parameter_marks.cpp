// parameter_marks.cpp: from a parameter's state to its glyphs and tooltip.
#include "parameter_marks.h"

#include <QDateTime>
#include <QStringList>

namespace velkor {
namespace {

// The numbers as the displays show them; the smoothing switch in words.
QString ValueText(ParameterId id, int32_t value) {
  if (id == ParameterId::Smoothing) return value ? QStringLiteral("вкл.") : QStringLiteral("выкл.");
  return QString::number(value);
}

// A moment of this run, as the clock on the wall showed it.
QString At(int64_t seconds) {
  return QStringLiteral("в ") + QDateTime::fromSecsSinceEpoch(seconds).toString(QStringLiteral("HH:mm:ss"));
}

QString PendingLine(ParameterId id, const MarkState& m) {
  switch (m.request) {
    case RequestPhase::Queued:
      return QStringLiteral("запрошено %1: ждёт отправки в очереди команд").arg(ValueText(id, m.requested));
    case RequestPhase::InFlight: {
      QString line = QStringLiteral("отправлено %1, устройство ещё не подтвердило").arg(ValueText(id, m.inFlight));
      if (m.requested != m.inFlight) line += QStringLiteral("; затем запрошено %1").arg(ValueText(id, m.requested));
      return line;
    }
    case RequestPhase::AwaitingReport:
    case RequestPhase::None: break;
  }
  return QStringLiteral("запрошено %1: устройство подтвердило, его сообщение о значении ещё не пришло")
      .arg(ValueText(id, m.requested));
}

QString FailedLine(ParameterId id, const MarkState& m) {
  const QString asked = QStringLiteral("запрос %1 %2 ").arg(ValueText(id, m.failedValue), At(m.failedAt));
  if (m.failure == RequestFailure::NotSent) return asked + QStringLiteral("не отправлен: связь была начата заново");
  const QString now = m.known ? QStringLiteral("устройство сейчас сообщает %1").arg(ValueText(id, m.value))
                              : QStringLiteral("что сейчас в устройстве, неизвестно: связь с ним терялась");
  return asked + QStringLiteral("отправлен, но не подтверждён: принят ли он, неизвестно;\n") + now;
}

QString UnsavedLine(ParameterId id, const MarkState& m) {
  if (m.savedKnown) {
    return QStringLiteral("изменено после записи в EEPROM: было %1, сейчас %2 (%3)")
        .arg(ValueText(id, m.saved), ValueText(id, m.value), At(m.valueSince));
  }
  return QStringLiteral("изменено после подключения: было %1 (%2), сейчас %3 (%4)")
      .arg(ValueText(id, m.connectedValue), At(m.connectedAt), ValueText(id, m.value), At(m.valueSince));
}

QString Line(ParameterId id, const MarkState& m, Mark mark) {
  switch (mark) {
    case Mark::Mismatch:
      return QStringLiteral("запрошено %1, устройство сообщило %2")
          .arg(ValueText(id, m.mismatchRequested), ValueText(id, m.mismatchReported));
    case Mark::Failed: return FailedLine(id, m);
    case Mark::Pending: return PendingLine(id, m);
    case Mark::ChangedByDriver:
      return QStringLiteral("изменено устройством (или другой программой, или его перезапуском): %1 → %2 (%3)")
          .arg(ValueText(id, m.changedFrom), ValueText(id, m.changedTo), At(m.valueSince));
    case Mark::Unsaved: return UnsavedLine(id, m);
  }
  return {};
}

// The panel cannot read the EEPROM: it says what it infers, and from what.
QString EepromLine(ParameterId id, const MarkState& m) {
  if (m.savedKnown) {
    return QStringLiteral("В EEPROM, по всей видимости, %1: запись подтверждена устройством %2\n"
                          "(само EEPROM прочитать нельзя).")
        .arg(ValueText(id, m.saved), At(m.savedAt));
  }
  return QStringLiteral("Что в EEPROM, неизвестно: прочитать его нельзя,\n"
                        "а записи, подтверждённой устройством, с подключения не было.");
}

}  // namespace

MarkState MarkStateOf(const ParameterState& s) {
  MarkState m;
  if (Pending(s)) {
    m.request = s.request;
    m.requested = s.request == RequestPhase::AwaitingReport ? s.acknowledged : s.requested;
    if (s.request == RequestPhase::InFlight) m.inFlight = s.inFlight;
  }
  if (s.failure != RequestFailure::None) {
    m.failure = s.failure;
    m.failedValue = s.failedValue;
    m.failedAt = s.failedAt;
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
  m.unsaved = Unsaved(s);
  if (AnyMark(m)) {
    m.known = s.known;
    m.value = s.value;
    m.valueSince = s.valueSince;
    m.savedKnown = s.savedKnown;
    m.saved = s.savedKnown ? s.saved : 0;
    m.savedAt = s.savedKnown ? s.savedAt : 0;
    m.connectedValue = s.connectedValue;
    m.connectedAt = s.connectedAt;
  }
  return m;
}

bool Has(const MarkState& m, Mark mark) {
  switch (mark) {
    case Mark::Mismatch: return m.mismatch;
    case Mark::Failed: return m.failure != RequestFailure::None;
    case Mark::Pending: return m.request != RequestPhase::None;
    case Mark::ChangedByDriver: return m.changedByDriver;
    case Mark::Unsaved: return m.unsaved;
  }
  return false;
}

bool AnyMark(const MarkState& m) {
  for (Mark mark : MARKS) {
    if (Has(m, mark)) return true;
  }
  return false;
}

char16_t Glyph(Mark mark) {
  switch (mark) {
    case Mark::Mismatch: return GLYPH_MISMATCH;
    case Mark::Failed: return GLYPH_FAILED;
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
  if (lines.isEmpty()) return {};
  lines << EepromLine(id, m);
  return lines.join(u'\n');
}

}  // namespace velkor
