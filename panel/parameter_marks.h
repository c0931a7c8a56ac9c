// parameter_marks.h: what the panel shows beside each parameter's display of
// the parameter's state: a value the driver did not take, a request that
// failed, a request on its way, a change the driver made on its own, a value
// changed since it was last seen saved. Each has a glyph, so that no state is
// told by colour alone, and a line of the display's tooltip with the values
// and when they were seen; the EEPROM's side is worded as inferred or
// unknown, since it cannot be read. Depends on Qt Core and the link's
// parameter states.
#pragma once

#include <QString>

#include <cstdint>

#include "panel_layout.h"
#include "parameter_state.h"

namespace velkor {

// The control that shows each parameter, in ParameterId order: the ten
// displays, then the smoothing button, whose caption shows the switch.
inline constexpr ControlId MARKED_CONTROLS[PARAMETER_STATE_COUNT] = {
    ID_DIVISION_SHOWN, ID_MOTION_CURRENT_SHOWN, ID_REDUCTION_DELAY_SHOWN, ID_HOLDING_CURRENT_SHOWN,
    ID_FAULT_CURRENT_SHOWN, ID_KP_SHOWN, ID_KL_SHOWN, ID_STEPS_SHOWN, ID_JOG_SPEED_SHOWN,
    ID_JOG_ACCEL_SHOWN, ID_SMOOTHING,
};

// In the order the glyphs stand and the tooltip's lines run.
enum class Mark : uint8_t { Mismatch, Failed, Pending, ChangedByDriver, Unsaved };
inline constexpr Mark MARKS[] = {Mark::Mismatch, Mark::Failed, Mark::Pending, Mark::ChangedByDriver, Mark::Unsaved};

inline constexpr char16_t GLYPH_MISMATCH = u'≠';
inline constexpr char16_t GLYPH_FAILED = u'!';
inline constexpr char16_t GLYPH_PENDING = u'→';
inline constexpr char16_t GLYPH_CHANGED_BY_DRIVER = u'↻';
inline constexpr char16_t GLYPH_UNSAVED = u'✱';

// The part of a parameter's state that the marks show: a mark that is off
// holds no values, so that two states compare equal exactly when the marks and
// the tooltip would look the same.
struct MarkState {
  RequestPhase request = RequestPhase::None;
  int32_t requested = 0;  // the newest value asked for
  int32_t inFlight = 0;   // while in flight: the value on the wire
  RequestFailure failure = RequestFailure::None;
  int32_t failedValue = 0;
  int64_t failedAt = 0;
  bool mismatch = false;
  int32_t mismatchRequested = 0;
  int32_t mismatchReported = 0;
  bool changedByDriver = false;
  int32_t changedFrom = 0;
  int32_t changedTo = 0;
  bool unsaved = false;
  // With any mark: the value now and since when, and what is known of the
  // EEPROM: a save the driver acknowledged, or the value at connection.
  bool known = false;
  int32_t value = 0;
  int64_t valueSince = 0;
  bool savedKnown = false;
  int32_t saved = 0;
  int64_t savedAt = 0;
  int32_t connectedValue = 0;
  int64_t connectedAt = 0;

  bool operator==(const MarkState&) const = default;
};

MarkState MarkStateOf(const ParameterState& state);
bool Has(const MarkState& marks, Mark mark);
bool AnyMark(const MarkState& marks);
char16_t Glyph(Mark mark);

// The glyphs of the marks that are on, in MARKS order: "≠✱".
QString MarkGlyphs(const MarkState& marks);

// One line for each mark that is on, each led by its glyph and giving the
// values ("≠ запрошено 25000, устройство сообщило 20000"); then a line on
// what the EEPROM holds as far as can be inferred, or that it is unknown.
// Empty when no mark is on.
QString MarkToolTip(ParameterId id, const MarkState& marks);

}  // namespace velkor
