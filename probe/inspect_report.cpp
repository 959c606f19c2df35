#include "probe/inspect_report.h"

#include <cstdio>
#include <vector>

#include "onewire/result.h"
#include "onewire/rom_code_text.h"
#include "onewire/thermometer_family.h"
#include "probe/device_words.h"
#include "probe/record_format.h"
#include "runtime/json_text.h"

namespace kv::probe {
namespace {

constexpr int LabelWidth = 26;

std::string PadHex(const Scratchpad& pad, const char* separator = " ") {
    return HexBytes(pad.data(), pad.size(), separator);
}

// TH and TL hold whole degrees as signed bytes.
int AlarmDegrees(uint8_t byte) {
    return static_cast<int8_t>(byte);
}

const ThermometerFamily& FamilyOf(const ThermometerInspection& seen) {
    return *FindThermometerFamily(seen.rom[0]);
}

std::string PowerWord(const ThermometerInspection& seen) {
    if (!seen.external) return "error";
    return *seen.external ? "external" : "parasite";
}

std::string FullTimeText(const ThermometerInspection& seen) {
    if (seen.fullTime) return ConversionTimeText(*seen.fullTime);
    if (seen.external == false) return "not polled on parasite power";
    return "not measured";
}

std::string ResolutionWriteText(const ThermometerInspection& seen) {
    const std::optional<int> readBack = ReducedResolutionReadBack(seen);
    if (!readBack) return "not tried";
    std::string text = std::to_string(seen.reducedBits) + " bits written, " +
                       std::to_string(*readBack) + " read back";
    if (seen.reducedTime) text += ", converting in " + ConversionTimeText(*seen.reducedTime);
    return text;
}

const char* BusyWord(const ConversionTime& t) {
    if (t.busyAtOnce) return "at once";
    if (t.sawBusy) return "late";
    if (t.noBusySignal) return "none";
    return nullptr;
}

std::vector<std::string> OriginsWith(const OriginJudgement& j, const CheckOutcome& outcome,
                                     Fit fit) {
    std::vector<std::string> names;
    for (size_t i = 0; i < j.origins.size(); ++i)
        if (outcome.fits[i] == fit) names.push_back(j.origins[i].name);
    return names;
}

std::string Listed(const std::vector<std::string>& names) {
    std::string text;
    for (size_t i = 0; i < names.size(); ++i) text += (i ? ", " : "") + names[i];
    return text;
}

std::string Listed(const std::vector<Check>& checks) {
    std::vector<std::string> names;
    for (Check c : checks) names.push_back(CheckName(c));
    return Listed(names);
}

std::string JsonList(const std::vector<std::string>& names) {
    std::string text = "[";
    for (size_t i = 0; i < names.size(); ++i) text += (i ? "," : "") + JsonString(names[i]);
    return text + "]";
}

std::string JsonKeys(const std::vector<Check>& checks) {
    std::vector<std::string> keys;
    for (Check c : checks) keys.push_back(CheckKey(c));
    return JsonList(keys);
}

void Line(std::string& out, const std::string& label, const std::string& text, int indent = 2) {
    std::string line(static_cast<size_t>(indent), ' ');
    line += label;
    if (line.size() < LabelWidth) line.resize(LabelWidth, ' ');
    out += line + " " + text + "\n";
}

const char* ConclusionWord(Conclusion c) {
    switch (c) {
        case Conclusion::Genuine:
            return "genuine";
        case Conclusion::Clone:
            return "clone";
        case Conclusion::Unknown:
            break;
    }
    return "unknown";
}

std::string Optional(bool has, const std::string& value) {
    return has ? value : "null";
}

}  // namespace

std::string ConclusionText(const OriginJudgement& j) {
    switch (j.conclusion) {
        case Conclusion::Genuine:
            return "consistent with a genuine part";
        case Conclusion::Clone:
            if (j.clone) return std::string("matches clone family ") + j.clone->name;
            return "clone, family not known: " + j.reason;
        case Conclusion::Unknown:
            break;
    }
    return "unknown: " + j.reason;
}

std::string InspectionText(const InspectedSensor& sensor) {
    const ThermometerInspection& seen = sensor.seen;
    const OriginJudgement& j = sensor.judgement;
    const ThermometerFamily& family = FamilyOf(seen);
    std::string out = RomCodeText(seen.rom) + "  " + family.name + "\n";
    Line(out, "power", PowerWord(seen));
    if (seen.first) {
        const Scratchpad& first = *seen.first;
        std::string alarms = "TH " + std::to_string(AlarmDegrees(first[ScratchpadTh])) +
                             " °C, TL " + std::to_string(AlarmDegrees(first[ScratchpadTl])) + " °C";
        if (seen.stored) {
            const Scratchpad& stored = *seen.stored;
            const bool same = stored[ScratchpadTh] == first[ScratchpadTh] &&
                              stored[ScratchpadTl] == first[ScratchpadTl];
            alarms += same ? "; EEPROM the same"
                           : "; EEPROM TH " + std::to_string(AlarmDegrees(stored[ScratchpadTh])) +
                                 " °C, TL " + std::to_string(AlarmDegrees(stored[ScratchpadTl])) +
                                 " °C";
        }
        if (family.resolutionSettable) {
            std::string resolution =
                std::to_string(ScratchpadResolution(family, first)) + " bits read back";
            if (seen.stored)
                resolution += "; EEPROM " +
                              std::to_string(ScratchpadResolution(family, *seen.stored)) + " bits";
            Line(out, "resolution", resolution);
        }
        Line(out, "alarm bytes", alarms);
    }
    if (seen.converted)
        Line(out, "temperature",
             DecimalText(DecodeTemperature(seen.converted->data(), seen.rom[0])) + " °C");
    Line(out, "conversion", FullTimeText(seen));
    if (family.resolutionSettable) Line(out, "resolution write", ResolutionWriteText(seen));
    if (seen.first) Line(out, "scratchpad first", PadHex(*seen.first));
    if (seen.written) Line(out, "after a write", PadHex(*seen.written));
    if (seen.converted) Line(out, "after conversion", PadHex(*seen.converted));
    if (seen.first) Line(out, "put back", seen.restored ? "yes" : "NO");
    if (seen.result != Ok) Line(out, "bus", OneWireResultLabel(seen.result));
    if (seen.cutShort) Line(out, "stopped", "before the end of the check");
    if (!j.checks.empty()) out += "  checks\n";
    for (const CheckOutcome& outcome : j.checks) {
        if (outcome.seen.empty()) continue;
        std::string text = outcome.seen;
        const std::vector<std::string> fits = OriginsWith(j, outcome, Fit::Fits);
        const std::vector<std::string> rulesOut = OriginsWith(j, outcome, Fit::RulesOut);
        if (!fits.empty()) text += "; fits " + Listed(fits);
        if (!rulesOut.empty()) text += "; rules out " + Listed(rulesOut);
        Line(out, CheckName(outcome.check), text, 4);
    }
    std::string conclusion = ConclusionText(j);
    if (!j.decidedBy.empty()) conclusion += "; decided by " + Listed(j.decidedBy);
    if (j.conclusion == Conclusion::Clone && !j.notGenuine.empty())
        conclusion += "; not genuine by " + Listed(j.notGenuine);
    Line(out, "conclusion", conclusion);
    if (!j.suggestion.empty()) Line(out, "to be sure", j.suggestion);
    char took[32];
    std::snprintf(took, sizeof took, "%.2f s", sensor.seconds);
    Line(out, "took", took);
    return out;
}

std::string InspectionJson(const InspectedSensor& sensor) {
    const ThermometerInspection& seen = sensor.seen;
    const OriginJudgement& j = sensor.judgement;
    const ThermometerFamily& family = FamilyOf(seen);
    std::string o =
        "{\"rom\":" + JsonString(RomCodeText(seen.rom)) + ",\"family\":" + JsonString(family.name) +
        ",\"power\":" + Optional(seen.external.has_value(), JsonString(PowerWord(seen)));
    const bool settable = family.resolutionSettable;
    auto pad = [](const std::optional<Scratchpad>& p) {
        return Optional(p.has_value(), p ? JsonString(PadHex(*p, "")) : "");
    };
    auto resolution = [&](const std::optional<Scratchpad>& p) {
        return Optional(p && settable,
                        p ? std::to_string(ScratchpadResolution(family, *p)) : std::string());
    };
    auto alarm = [](const std::optional<Scratchpad>& p, int index) {
        return Optional(p.has_value(),
                        p ? std::to_string(AlarmDegrees((*p)[static_cast<size_t>(index)])) : "");
    };
    o += ",\"celsius\":" +
         Optional(seen.converted.has_value(),
                  seen.converted
                      ? DecimalText(DecodeTemperature(seen.converted->data(), seen.rom[0]))
                      : "");
    o += ",\"resolution\":" + resolution(seen.first);
    o += ",\"stored_resolution\":" + resolution(seen.stored);
    o +=
        ",\"th\":" + alarm(seen.first, ScratchpadTh) + ",\"tl\":" + alarm(seen.first, ScratchpadTl);
    o += ",\"stored_th\":" + alarm(seen.stored, ScratchpadTh) +
         ",\"stored_tl\":" + alarm(seen.stored, ScratchpadTl);
    auto time = [](const std::optional<ConversionTime>& t) {
        if (!t || !t->ended) return std::string("null");
        return "{\"after_ms\":" + std::to_string(t->busyMs) +
               ",\"by_ms\":" + std::to_string(t->doneMs) + "}";
    };
    o += ",\"conversion\":" + time(seen.fullTime);
    o += ",\"reduced_conversion\":" + time(seen.reducedTime);
    const std::optional<int> readBack = ReducedResolutionReadBack(seen);
    o += ",\"resolution_honoured\":" +
         Optional(readBack.has_value(), readBack == seen.reducedBits ? "true" : "false");
    const char* busy = seen.fullTime ? BusyWord(*seen.fullTime) : nullptr;
    o += ",\"busy_signal\":" + Optional(busy != nullptr, busy ? JsonString(busy) : "");
    o += ",\"first\":" + pad(seen.first) + ",\"written\":" + pad(seen.written) +
         ",\"recalled\":" + pad(seen.recalled) + ",\"converted\":" + pad(seen.converted);
    o += ",\"restored\":" + std::string(seen.restored ? "true" : "false");
    o += ",\"checks\":[";
    for (size_t i = 0; i < j.checks.size(); ++i) {
        const CheckOutcome& outcome = j.checks[i];
        o += std::string(i ? "," : "") + "{\"check\":" + JsonString(CheckKey(outcome.check)) +
             ",\"weak\":" + (IsWeak(outcome.check) ? "true" : "false") +
             ",\"applies\":" + (outcome.applies ? "true" : "false") +
             ",\"seen\":" + JsonString(outcome.seen) +
             ",\"fits\":" + JsonList(OriginsWith(j, outcome, Fit::Fits)) +
             ",\"rules_out\":" + JsonList(OriginsWith(j, outcome, Fit::RulesOut)) +
             ",\"missing\":" +
             Optional(!outcome.unseen.empty() && outcome.applies, JsonString(outcome.unseen)) + "}";
    }
    o += "],\"conclusion\":" + JsonString(ConclusionWord(j.conclusion));
    o += ",\"clone_family\":" +
         Optional(j.clone != nullptr, j.clone ? JsonString(j.clone->name) : "");
    o += ",\"decided_by\":" + JsonKeys(j.decidedBy) +
         ",\"not_genuine_by\":" + JsonKeys(j.notGenuine);
    o += ",\"reason\":" + Optional(!j.reason.empty(), JsonString(j.reason));
    o += ",\"suggestion\":" + Optional(!j.suggestion.empty(), JsonString(j.suggestion));
    o += ",\"result\":" + JsonString(OneWireResultLabel(seen.result));
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.3f", sensor.seconds);
    return o + ",\"seconds\":" + seconds + "}";
}

}  // namespace kv::probe
