#include "probe/origin_checks.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "onewire/ds18x20.h"
#include "onewire/result.h"
#include "onewire/thermometer_family.h"
#include "probe/record_format.h"

namespace kv::probe {
namespace {

using Origins = std::span<const ThermometerOrigin>;

// The research measured its conversion times between 0 and 30 °C.
constexpr double RoomMinCelsius = 0.0;
constexpr double RoomMaxCelsius = 30.0;
// How much quicker a conversion is for each bit less, with the tolerance the research's
// test sketch allows each.
struct PerBit {
    double factor;
    double tolerance;
};
constexpr PerBit Halving{2.0, 0.3};
constexpr PerBit RootTwo{1.41, 0.2};
constexpr PerBit Unchanged{1.0, 0.15};
// A DS18B20 configuration byte: bit 7 clear, bits 0 to 4 set, the resolution in 5 and 6.
constexpr uint8_t ConfigFixedMask = 0x9F;
constexpr uint8_t ConfigFixedBits = 0x1F;
constexpr uint8_t ConfigLowBits = 0x7F;
constexpr uint8_t Reserved = 0xFF;
constexpr uint8_t Sixteenths = 0x10;
constexpr uint8_t PowerOnCount = 0x0C;
constexpr uint16_t FailedConversionRaw = 0x07FF;
constexpr size_t FirstReserved = 5;  // on a DS18B20; a DS18S20 reserves byte 4 too
constexpr size_t LastReserved = 7;

struct Context {
    const ThermometerInspection& seen;
    Origins origins;
    const ThermometerFamily& family;
};

Fit FitIf(bool holds) {
    return holds ? Fit::Fits : Fit::RulesOut;
}

template <typename Judge>
std::vector<Fit> Each(Origins origins, Judge judge) {
    std::vector<Fit> fits;
    for (const ThermometerOrigin& o : origins) fits.push_back(judge(o));
    return fits;
}

CheckOutcome Outcome(Check check, std::string seen, std::vector<Fit> fits) {
    CheckOutcome outcome;
    outcome.check = check;
    outcome.seen = std::move(seen);
    outcome.fits = std::move(fits);
    return outcome;
}

// Nothing to judge: every origin NotObserved, with the reason.
CheckOutcome Unseen(Check check, const Context& c, std::string why, Remedy remedy) {
    CheckOutcome outcome = Outcome(check, "not seen", std::vector<Fit>(c.origins.size()));
    outcome.unseen = std::move(why);
    outcome.remedy = remedy;
    return outcome;
}

// A check the part's family or supply leaves out.
CheckOutcome NotApplicable(Check check, const Context& c, std::string seen) {
    CheckOutcome outcome = Unseen(check, c, "", Remedy::None);
    outcome.seen = std::move(seen);
    outcome.applies = false;
    return outcome;
}

// Why the inspection has nothing for a check that comes later in it.
CheckOutcome NotReached(Check check, const Context& c) {
    const ThermometerInspection& seen = c.seen;
    if (seen.cutShort) return Unseen(check, c, "stopped before it", Remedy::RunAgain);
    if (seen.result != Ok)
        return Unseen(check, c,
                      "the bus failed before it (" + OneWireResultLabel(seen.result) + ")",
                      Remedy::RunAgain);
    return Unseen(check, c, "not reached", Remedy::RunAgain);
}

// The reason goes with the genuine part's NotObserved.
void Explain(CheckOutcome& outcome, std::string why, Remedy remedy) {
    if (outcome.fits.empty() || outcome.fits.front() != Fit::NotObserved) return;
    outcome.unseen = std::move(why);
    outcome.remedy = remedy;
}

uint16_t Raw(const Scratchpad& pad) {
    return static_cast<uint16_t>(pad[1] << 8 | pad[0]);
}

uint8_t LowSixteenths(const Scratchpad& pad) {
    return pad[0] & 0x0F;
}

bool Holds(const ReservedByte& rule, uint8_t byte) {
    switch (rule.rule) {
        case ByteRule::Is:
            return byte == rule.value;
        case ByteRule::IsNot:
            return byte != rule.value;
        case ByteRule::Any:
            break;
    }
    return true;
}

bool ConfigFits(const ThermometerOrigin& o, const ThermometerFamily& family, uint8_t config) {
    if (!family.resolutionSettable) return config == Reserved;
    if (!o.resolutionTaken) return true;
    if (!*o.resolutionTaken) return (config & ConfigLowBits) == ConfigLowBits;
    return (config & ConfigFixedMask) == ConfigFixedBits;
}

// The scratchpad an origin powers up with: the family's conversions may end on 85 °C, but
// only a power-up leaves byte 6 as it starts.
bool IsPowerUpPad(Origins origins, const Scratchpad& pad) {
    return std::any_of(origins.begin(), origins.end(), [&](const ThermometerOrigin& o) {
        return o.powerOnRaw && Raw(pad) == static_cast<uint16_t>(*o.powerOnRaw) &&
               pad[ScratchpadCountRemain] == o.byte6PowerOn;
    });
}

// No conversion shows: the power-up scratchpad, or the 127.94 °C with byte 6 still 0C that a
// genuine DS18B20 leaves when a conversion failed (Family A1: with too little power).
bool ShowsNoConversion(Origins origins, const Scratchpad& pad) {
    return IsPowerUpPad(origins, pad) ||
           (Raw(pad) == FailedConversionRaw && pad[ScratchpadCountRemain] == PowerOnCount);
}

size_t FirstReservedByte(const ThermometerFamily& family) {
    return family.resolutionSettable ? FirstReserved : static_cast<size_t>(ScratchpadConfig);
}

std::string ReservedText(const Scratchpad& pad) {
    return HexBytes(pad.data() + FirstReserved, LastReserved - FirstReserved + 1, " ");
}

std::string Celsius(const Scratchpad& pad, uint8_t familyCode) {
    return DecimalText(DecodeTemperature(pad.data(), familyCode)) + " °C";
}

// --- the checks ---

CheckOutcome RomCheck(const Context& c) {
    const RomCode& rom = c.seen.rom;
    const ThermometerOrigin& genuine = c.origins.front();
    const bool genuinePattern = genuine.romRule == RomRule::Required && RomFitsOrigin(genuine, rom);
    CheckOutcome outcome =
        Outcome(Check::Rom, "bytes 1-6 " + HexBytes(rom.data() + 1, 6, " "),
                Each(c.origins, [&](const ThermometerOrigin& o) {
                    switch (o.romRule) {
                        case RomRule::Required:
                            return FitIf(RomFitsOrigin(o, rom));
                        case RomRule::Habit:
                            if (genuinePattern) return Fit::RulesOut;
                            return RomFitsOrigin(o, rom) ? Fit::Fits : Fit::NotPublished;
                        case RomRule::NotPublished:
                            break;
                    }
                    return Fit::NotPublished;
                }));
    outcome.applies = std::any_of(c.origins.begin(), c.origins.end(),
                                  [](const auto& o) { return o.romRule != RomRule::NotPublished; });
    return outcome;
}

Fit FoundCountFits(const ThermometerOrigin& o, uint8_t count) {
    switch (o.byte6) {
        case CountRemain::Sixteenths:
        case CountRemain::HalfDegreeCount:
            return FitIf(count >= 1 && count <= Sixteenths);
        case CountRemain::Stays0C:
            return FitIf(count == PowerOnCount);
        case CountRemain::AlwaysFF:
            return FitIf(count == Reserved);
        case CountRemain::NeverC:
            return FitIf(count != PowerOnCount);
        case CountRemain::SixteenthsPlus16:
        case CountRemain::LastWritten:
            break;
    }
    return Fit::Fits;
}

CheckOutcome FoundCheck(const Context& c) {
    const Scratchpad& pad = *c.seen.first;
    std::string text = "bytes 4-7 " + HexBytes(pad.data() + ScratchpadConfig, 4, " ");
    if (FirstIsPowerUp(c.seen)) text += ", " + Celsius(pad, c.seen.rom[0]) + " as at power-up";
    return Outcome(Check::Found, text, Each(c.origins, [&](const ThermometerOrigin& o) {
                       if (!Holds(o.byte5, pad[FirstReserved]) ||
                           !Holds(o.byte7, pad[ScratchpadCountPerC]) ||
                           !ConfigFits(o, c.family, pad[ScratchpadConfig]))
                           return Fit::RulesOut;
                       return FoundCountFits(o, pad[ScratchpadCountRemain]);
                   }));
}

bool AlarmBytesTaken(const ThermometerInspection& seen) {
    return (*seen.written)[ScratchpadTh] == seen.probe[0] &&
           (*seen.written)[ScratchpadTl] == seen.probe[1];
}

CheckOutcome WriteCheck(const Context& c) {
    const ThermometerInspection& seen = c.seen;
    if (!seen.stored || !seen.written) return NotReached(Check::Write, c);
    const Scratchpad &before = *seen.stored, &after = *seen.written;
    const size_t from = FirstReservedByte(c.family);
    const bool taken = AlarmBytesTaken(seen);
    const bool kept =
        std::equal(after.begin() + static_cast<long>(from), after.begin() + LastReserved + 1,
                   before.begin() + static_cast<long>(from));
    const uint8_t third = seen.probe[2];
    std::string text =
        "bytes 5-7 " + ReservedText(before) + " before, " + ReservedText(after) + " after";
    if (!taken) text += "; the alarm bytes written did not read back";
    CheckOutcome outcome =
        Outcome(Check::Write, text, Each(c.origins, [&](const ThermometerOrigin& o) {
                    if (!o.writeKeepsReserved) return Fit::NotPublished;
                    if (*o.writeKeepsReserved) return FitIf(taken && kept);
                    // The fault copies the third byte written into byte 6.
                    if (!taken) return Fit::RulesOut;
                    if (third == before[ScratchpadCountRemain]) return Fit::NotObserved;
                    return FitIf(after[ScratchpadCountRemain] == third);
                }));
    return outcome;
}

CheckOutcome EepromCheck(const Context& c) {
    const ThermometerInspection& seen = c.seen;
    if (!seen.stored || !seen.written || !seen.recalled) return NotReached(Check::Eeprom, c);
    if (!AlarmBytesTaken(seen))
        return Unseen(Check::Eeprom, c, "the alarm bytes written did not read back", Remedy::None);
    const Scratchpad &stored = *seen.stored, &recalled = *seen.recalled;
    const bool back = recalled[ScratchpadTh] == stored[ScratchpadTh] &&
                      recalled[ScratchpadTl] == stored[ScratchpadTl];
    const bool still =
        recalled[ScratchpadTh] == seen.probe[0] && recalled[ScratchpadTl] == seen.probe[1];
    const std::string alarms = "TH " + HexBytes(recalled.data() + ScratchpadTh, 1, "") + ", TL " +
                               HexBytes(recalled.data() + ScratchpadTl, 1, "");
    const std::string text = back    ? alarms + " back from the EEPROM"
                             : still ? "nothing recalled: " + alarms + " as written"
                                     : alarms + ", neither stored nor written";
    return Outcome(Check::Eeprom, text, Each(c.origins, [&](const ThermometerOrigin& o) {
                       if (!o.recallsEeprom) return Fit::NotPublished;
                       if (*o.recallsEeprom) return FitIf(back);
                       return still ? Fit::Fits : Fit::NotObserved;
                   }));
}

Fit ConvertedCountFits(const ThermometerOrigin& o, const Scratchpad& pad) {
    const uint8_t count = pad[ScratchpadCountRemain];
    switch (o.byte6) {
        case CountRemain::Sixteenths:
            return FitIf(count == Sixteenths - LowSixteenths(pad));
        case CountRemain::SixteenthsPlus16:
            return FitIf(count == 2 * Sixteenths - LowSixteenths(pad));
        case CountRemain::Stays0C:
            return FitIf(count == PowerOnCount);
        case CountRemain::LastWritten:
            return FitIf(count == ResolutionConfig(MaxResolutionBits));
        case CountRemain::AlwaysFF:
            return FitIf(count == Reserved);
        case CountRemain::NeverC:
            return FitIf(count != PowerOnCount);
        case CountRemain::HalfDegreeCount:
            return FitIf(count >= 1 && count <= Sixteenths);
    }
    return Fit::NotPublished;
}

CheckOutcome ConvertedCheck(const Context& c) {
    const ThermometerInspection& seen = c.seen;
    if (!seen.converted) return NotReached(Check::Converted, c);
    const Scratchpad& pad = *seen.converted;
    if (ShowsNoConversion(c.origins, pad))
        return Unseen(Check::Converted, c, "no conversion showed in the scratchpad",
                      Remedy::RunAgain);
    return Outcome(Check::Converted, ReservedText(pad) + " at " + Celsius(pad, seen.rom[0]),
                   Each(c.origins, [&](const ThermometerOrigin& o) {
                       if (!Holds(o.byte5, pad[FirstReserved]) ||
                           !Holds(o.byte7, pad[ScratchpadCountPerC]) ||
                           !ConfigFits(o, c.family, pad[ScratchpadConfig]))
                           return Fit::RulesOut;
                       return ConvertedCountFits(o, pad);
                   }));
}

// The conversion took longer than busyMs and no longer than doneMs.
struct Bracket {
    double low;
    double high;
};

bool Timed(const std::optional<ConversionTime>& t) {
    return t && t->ended;
}

Bracket Of(const ConversionTime& t) {
    return {static_cast<double>(t.busyMs), static_cast<double>(t.doneMs)};
}

Fit Against(const Bracket& seen, const Bracket& published) {
    if (seen.high < published.low || seen.low >= published.high) return Fit::RulesOut;
    if (seen.low >= published.low && seen.high <= published.high) return Fit::Fits;
    return Fit::NotObserved;
}

std::optional<PerBit> PerBitOf(ResolutionScaling scaling) {
    switch (scaling) {
        case ResolutionScaling::Halves:
            return Halving;
        case ResolutionScaling::SqrtTwo:
            return RootTwo;
        case ResolutionScaling::Flat:
            return Unchanged;
        case ResolutionScaling::NotPublished:
            break;
    }
    return std::nullopt;
}

std::string RatioText(const Bracket& ratio) {
    char text[64];
    if (std::isinf(ratio.high))
        std::snprintf(text, sizeof text, "at least %.1f times quicker", ratio.low);
    else
        std::snprintf(text, sizeof text, "%.1f to %.1f times quicker", ratio.low, ratio.high);
    return text;
}

CheckOutcome ResolutionCheck(const Context& c) {
    const ThermometerInspection& seen = c.seen;
    if (!c.family.resolutionSettable) return NotApplicable(Check::Resolution, c, "");
    if (!seen.reduced) return NotReached(Check::Resolution, c);
    const int readBack = ScratchpadResolution(c.family, *seen.reduced);
    const bool taken = readBack == seen.reducedBits;
    const bool parasite = seen.external == false;
    const int bitsFewer = MaxResolutionBits - seen.reducedBits;
    std::string text = std::to_string(seen.reducedBits) + " bits written, " +
                       std::to_string(readBack) + " read back";
    std::optional<Bracket> ratio;
    if (Timed(seen.fullTime) && Timed(seen.reducedTime)) {
        const Bracket full = Of(*seen.fullTime), reduced = Of(*seen.reducedTime);
        ratio = Bracket{
            full.low / std::max(reduced.high, 1.0),
            reduced.low > 0 ? full.high / reduced.low : std::numeric_limits<double>::infinity()};
        text += "; " + RatioText(*ratio) + " than at " + std::to_string(MaxResolutionBits);
    }
    CheckOutcome outcome = Outcome(
        Check::Resolution, text, Each(c.origins, [&](const ThermometerOrigin& o) {
            if (!o.resolutionTaken) return Fit::NotPublished;
            if (!*o.resolutionTaken || !taken) return FitIf(taken == *o.resolutionTaken);
            const std::optional<PerBit> perBit = PerBitOf(o.scaling);
            if (parasite || !perBit) return Fit::Fits;  // a read back is all there is
            if (!ratio) return Fit::NotObserved;
            return Against(*ratio, {std::pow(perBit->factor - perBit->tolerance, bitsFewer),
                                    std::pow(perBit->factor + perBit->tolerance, bitsFewer)});
        }));
    if (!ratio)
        Explain(outcome, "the conversions at both resolutions were not timed", Remedy::RunAgain);
    else
        Explain(outcome, "not timed: its times are not known precisely enough to tell",
                Remedy::LowerLatency);
    return outcome;
}

}  // namespace

std::string ConversionTimeText(const ConversionTime& t) {
    if (t.cutShort) return "cut short";
    if (t.noBusySignal) return "not timed: no busy signal";
    if (!t.ended) return "still busy after " + std::to_string(ConversionPollLimitMs) + " ms";
    if (t.busyMs == 0) return "up to " + std::to_string(t.doneMs) + " ms";
    return std::to_string(t.busyMs) + " to " + std::to_string(t.doneMs) + " ms";
}

namespace {

CheckOutcome TimeCheck(const Context& c) {
    const ThermometerInspection& seen = c.seen;
    if (seen.external == false)
        return NotApplicable(Check::ConversionTime, c, "not polled on parasite power");
    if (!seen.fullTime) return NotReached(Check::ConversionTime, c);
    const ConversionTime& t = *seen.fullTime;
    if (t.cutShort)
        return Unseen(Check::ConversionTime, c, "stopped while it converted", Remedy::RunAgain);
    if (t.noBusySignal)
        return Unseen(Check::ConversionTime, c, "no busy signal to time it by", Remedy::None);
    if (!t.ended) return Unseen(Check::ConversionTime, c, ConversionTimeText(t), Remedy::RunAgain);
    if (!seen.converted || ShowsNoConversion(c.origins, *seen.converted))
        return Unseen(Check::ConversionTime, c, "the temperature it converted at is not known",
                      Remedy::RunAgain);
    const double celsius = DecodeTemperature(seen.converted->data(), seen.rom[0]);
    const bool room = celsius >= RoomMinCelsius && celsius <= RoomMaxCelsius;
    CheckOutcome outcome =
        Outcome(Check::ConversionTime, ConversionTimeText(t),
                Each(c.origins, [&](const ThermometerOrigin& o) {
                    if (!o.conversionMs) return Fit::NotPublished;
                    if (!room && !o.spanAtAnyTemperature) return Fit::NotObserved;
                    return Against(Of(t), {static_cast<double>(o.conversionMs->minMs),
                                           static_cast<double>(o.conversionMs->maxMs)});
                }));
    if (!room)
        Explain(outcome,
                "not timed at " + Celsius(*seen.converted, seen.rom[0]) +
                    ": the published times hold from " + DecimalText(RoomMinCelsius) + " to " +
                    DecimalText(RoomMaxCelsius) + " °C",
                Remedy::RoomTemperature);
    else
        Explain(outcome,
                "not timed: known only to lie between " + std::to_string(t.busyMs) + " and " +
                    std::to_string(t.doneMs) + " ms",
                Remedy::LowerLatency);
    return outcome;
}

CheckOutcome BusyCheck(const Context& c) {
    const ThermometerInspection& seen = c.seen;
    if (seen.external == false)
        return NotApplicable(Check::Busy, c, "not polled on parasite power");
    if (!seen.fullTime) return NotReached(Check::Busy, c);
    const ConversionTime& t = *seen.fullTime;
    BusySignal signal = BusySignal::NotPublished;
    std::string text;
    if (t.busyAtOnce) {
        signal = BusySignal::AtOnce;
        text = "0 in the slot right after Convert T";
    } else if (t.sawBusy) {
        signal = BusySignal::Late;
        text = "1 in the slot right after Convert T, 0 later";
    } else if (t.noBusySignal) {
        signal = BusySignal::None;
        text = "no 0 within " + std::to_string(BusySignalGraceMs) + " ms of Convert T";
    } else {
        return Unseen(Check::Busy, c, "stopped before it showed", Remedy::RunAgain);
    }
    return Outcome(Check::Busy, text, Each(c.origins, [&](const ThermometerOrigin& o) {
                       if (o.busy == BusySignal::NotPublished) return Fit::NotPublished;
                       return FitIf(o.busy == signal);
                   }));
}

CheckOutcome ParasiteCheck(const Context& c) {
    const ThermometerInspection& seen = c.seen;
    if (seen.external != false)
        return NotApplicable(Check::Parasite, c, "not seen, the part has its own supply");
    if (!seen.converted) return NotReached(Check::Parasite, c);
    const bool works = !ShowsNoConversion(c.origins, *seen.converted);
    CheckOutcome outcome = Outcome(
        Check::Parasite, works ? "converted on parasite power" : "no conversion on parasite power",
        Each(c.origins, [&](const ThermometerOrigin& o) {
            if (!o.parasitePower) return Fit::NotPublished;
            if (*o.parasitePower) return works ? Fit::Fits : Fit::NotObserved;
            return FitIf(!works);
        }));
    Explain(outcome, "it did not convert on parasite power", Remedy::OwnSupply);
    return outcome;
}

}  // namespace

std::string HexBytes(const uint8_t* bytes, size_t count, const char* separator) {
    std::string text;
    for (size_t i = 0; i < count; ++i) {
        char digits[4];
        std::snprintf(digits, sizeof digits, "%02X", bytes[i]);
        if (i) text += separator;
        text += digits;
    }
    return text;
}

std::vector<CheckOutcome> HoldAgainstOrigins(const ThermometerInspection& seen,
                                             std::span<const ThermometerOrigin> origins) {
    const ThermometerFamily* family = FindThermometerFamily(seen.rom[0]);
    if (origins.empty() || !family) return {};
    const Context c{seen, origins, *family};
    std::vector<CheckOutcome> checks = {RomCheck(c)};
    if (!seen.first) {
        for (Check check : {Check::Found, Check::Write, Check::Eeprom, Check::Converted,
                            Check::Resolution, Check::ConversionTime, Check::Busy, Check::Parasite})
            checks.push_back(NotReached(check, c));
        return checks;
    }
    checks.push_back(FoundCheck(c));
    checks.push_back(WriteCheck(c));
    checks.push_back(EepromCheck(c));
    checks.push_back(ConvertedCheck(c));
    checks.push_back(ResolutionCheck(c));
    checks.push_back(TimeCheck(c));
    checks.push_back(BusyCheck(c));
    checks.push_back(ParasiteCheck(c));
    return checks;
}

std::optional<int> ReducedResolutionReadBack(const ThermometerInspection& seen) {
    const ThermometerFamily* family = FindThermometerFamily(seen.rom[0]);
    if (!family || !seen.reduced || seen.reducedBits == 0) return std::nullopt;
    return ScratchpadResolution(*family, *seen.reduced);
}

bool FirstIsPowerUp(const ThermometerInspection& seen) {
    return seen.first && IsPowerUpPad(ThermometerOrigins(seen.rom[0]), *seen.first);
}

}  // namespace kv::probe
