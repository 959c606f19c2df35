// Where a thermometer comes from, judged from what an inspection saw: each published origin
// of its family is held against every check, and one conclusion names the checks it rests on.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "onewire/thermometer_inspection.h"
#include "probe/origin_signatures.h"

namespace kv::probe {

enum class Check : int32_t {
    Rom,  // the pattern of the ROM code
    PowerUp,
    Scratchpad,  // bytes 5 to 7 after a conversion
    ConversionTime,
    ResolutionWrite,
    Parasite,
};

// The ROM pattern is a habit of a maker's production, not a property of the part: it is
// weighed less than the others and only settles what they leave open.
constexpr bool IsWeak(Check check) {
    return check == Check::Rom;
}
const char* CheckName(Check check);  // "ROM code", "power-up value", ...
const char* CheckKey(Check check);   // "rom", "power-up", ...

struct CheckOutcome {
    Check check;
    std::vector<Fit> fits;  // one for each origin of the family, in the judgement's order
};

enum class Conclusion : int32_t {
    Genuine,  // consistent with a genuine part
    Clone,    // matches a known clone family
    Unknown,
};

struct OriginJudgement {
    Conclusion conclusion = Conclusion::Unknown;
    const OriginSignature* clone = nullptr;       // the family a Clone matches
    std::vector<const OriginSignature*> origins;  // of the part's family, genuine first
    std::vector<CheckOutcome> checks;
    std::vector<Check> decidedBy;   // what the conclusion rests on
    std::vector<Check> notGenuine;  // what rules out a genuine part
    std::string reason;             // why it is Unknown
};

OriginJudgement JudgeOrigin(const ThermometerInspection& seen);

// Whether the part took the lower resolution written to it: read back, and for a polled part
// also in how much quicker it converted. Empty when that was not tried.
std::optional<bool> ResolutionHonoured(const ThermometerInspection& seen);

// The first scratchpad is that of a part fresh from power-on, by some origin's pattern.
bool FirstIsPowerUp(const ThermometerInspection& seen);

}  // namespace kv::probe
