// How an inspected thermometer is written out: a block of text lines for a person, or one
// JSON object on one line for a script.
#pragma once
#include <string>

#include "onewire/thermometer_inspection.h"
#include "probe/origin_verdict.h"

namespace kv::probe {

struct InspectedSensor {
    ThermometerInspection seen;
    OriginJudgement judgement;
    double seconds = 0.0;  // the inspection's time on the bus
};

// Lines ending in '\n', the last one the conclusion and the time.
std::string InspectionText(const InspectedSensor& sensor);
// One object, without the line end.
std::string InspectionJson(const InspectedSensor& sensor);
// "consistent with a genuine part", "matches clone family C", "unknown: ..."
std::string ConclusionText(const OriginJudgement& judgement);

}  // namespace kv::probe
