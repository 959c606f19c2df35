// Where a thermometer comes from, judged from what an inspection saw. A part is genuine only
// when every check its supply allows was made and fits a genuine part, and every published
// clone family is ruled out; it is a clone as soon as one check rules a genuine part out;
// anything else is unknown, with the checks that were missing and what would supply them.
#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "onewire/thermometer_inspection.h"
#include "onewire/thermometer_origins.h"
#include "probe/origin_checks.h"

namespace kv::probe {

// The ROM pattern of a clone family is a habit of its makers, not a property of the part:
// it only settles a tie between families the other checks leave open. (That a clone breaks
// the genuine pattern is another matter: that rules a genuine part out.)
constexpr bool IsWeak(Check check) {
    return check == Check::Rom;
}
const char* CheckName(Check check);  // "ROM code", "scratchpad as found", ...
const char* CheckKey(Check check);   // "rom", "found", ...

enum class Conclusion : int32_t {
    Genuine,  // consistent with a genuine part
    Clone,    // not genuine; of a known family, or of none known
    Unknown,
};

struct OriginJudgement {
    Conclusion conclusion = Conclusion::Unknown;
    const ThermometerOrigin* clone = nullptr;    // the family a Clone matches; nullptr: not known
    std::span<const ThermometerOrigin> origins;  // of the part's family, genuine first
    std::vector<CheckOutcome> checks;
    std::vector<Check> decidedBy;   // what the conclusion rests on
    std::vector<Check> notGenuine;  // what rules out a genuine part
    std::string reason;             // why it is Unknown, or why a clone's family is not known
    std::string suggestion;         // what would give a firmer answer
};

OriginJudgement JudgeOrigin(const ThermometerInspection& seen);

}  // namespace kv::probe
