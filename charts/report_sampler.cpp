// report_sampler.cpp: each report read against the link's state just after it.
#include "report_sampler.h"

#include <algorithm>

#include "codes.h"
#include "parameter_state.h"

namespace velkor::charts {

namespace {

bool IsLiveReport(uint8_t type) { return type >= RPT_PHASE && type <= RPT_STATUS; }

}  // namespace

ReportSampler::ReportSampler(Link& link, SampleSink& sink) : link_(link), sink_(sink) {
  link_.listeners.push_back(this);
  connected_ = link_.state.readyWord == READY_CONNECTED;
  saves_ = link_.parameters.actionsAcknowledged[ACT_SAVE_EEPROM];
  for (size_t i = 0; i < PARAMETER_STATE_COUNT; ++i)
    if (link_.parameters.parameters[i].known) parameters_[i] = link_.parameters.parameters[i].value;
}

ReportSampler::~ReportSampler() { std::erase(link_.listeners, this); }

void ReportSampler::OnReport(uint8_t type, int16_t, double time) {
  heardSinceReset_ = true;
  if (IsLiveReport(type)) {
    sink_.OnSample(SampleOf(link_.values, time));
  } else if (type == RPT_ACK) {
    const uint32_t saves = link_.parameters.actionsAcknowledged[ACT_SAVE_EEPROM];
    if (saves != saves_) sink_.OnMarker({time, MarkerKind::Saved, {}});
    saves_ = saves;
  } else {
    NoteParameters(time);
  }
  const bool connected = link_.state.readyWord == READY_CONNECTED;
  if (connected && !connected_) sink_.OnMarker({time, MarkerKind::Connected, {}});
  connected_ = connected;
}

void ReportSampler::OnLinkReset(double time) {
  // Whatever was heard before, the readings are unknown again: no trace joins
  // across. Only a connected link is lost; the handshake asking again is not.
  if (heardSinceReset_) sink_.OnSample(GapAt(time));
  if (connected_) sink_.OnMarker({time, MarkerKind::LinkLost, {}});
  heardSinceReset_ = false;
  connected_ = false;
}

// A parameter's report changes at most its own value (KL's, smoothing too):
// every known one is compared with what was last seen of it.
void ReportSampler::NoteParameters(double time) {
  for (size_t i = 0; i < PARAMETER_STATE_COUNT; ++i) {
    const ParameterState& state = link_.parameters.parameters[i];
    if (!state.known || parameters_[i] == state.value) continue;
    parameters_[i] = state.value;
    sink_.OnMarker({time, MarkerKind::Parameter,
                    std::string(ParameterName(static_cast<ParameterId>(i))) + "=" + std::to_string(state.value)});
  }
}

}  // namespace velkor::charts
