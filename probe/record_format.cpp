#include "probe/record_format.h"

#include <cmath>

#include "onewire/rom_code_text.h"
#include "probe/device_words.h"
#include "runtime/json_text.h"

namespace kv::probe {
namespace {

// Field names shared by the CSV header and the JSON keys, in record order; the last only
// when the sensors have names.
constexpr const char* Fields[] = {"time",       "rom",     "family", "power",
                                  "resolution", "celsius", "state",  "name"};
constexpr size_t NameField = 7;
constexpr size_t FieldCount(bool names) {
    return names ? NameField + 1 : NameField;
}

std::string ResolutionText(const Reading& r) {
    return r.resolution ? std::to_string(r.resolution) : std::string();
}

std::string CelsiusText(const Reading& r) {
    return r.passed() ? DecimalText(r.celsius) : std::string();
}

std::string Joined(const std::vector<std::string>& fields, char separator) {
    std::string line;
    for (size_t i = 0; i < fields.size(); ++i) {
        if (i) line += separator;
        line += fields[i];
    }
    return line;
}

// A CSV field holding a comma or a quote is quoted, its quotes doubled.
std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"") == std::string::npos) return text;
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

}  // namespace

std::string IsoUtcText(std::chrono::system_clock::time_point time) {
    using namespace std::chrono;
    const auto seconds = floor<std::chrono::seconds>(time);
    const auto day = floor<days>(seconds);
    const year_month_day date{day};
    const hh_mm_ss clock{seconds - day};
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ",
                  static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                  static_cast<unsigned>(date.day()), static_cast<int>(clock.hours().count()),
                  static_cast<int>(clock.minutes().count()),
                  static_cast<int>(clock.seconds().count()));
    return text;
}

std::string HeaderText(Format format, bool names) {
    if (format != Format::Csv) return {};
    return Joined(
        std::vector<std::string>(std::begin(Fields), std::begin(Fields) + FieldCount(names)), ',');
}

std::string RecordText(Format format, const Reading& r, bool names) {
    std::vector<std::string> fields = {
        IsoUtcText(r.time), RomCodeText(r.rom), FamilyName(r.rom[0]), r.power, ResolutionText(r),
        CelsiusText(r),     r.state()};
    if (names) fields.push_back(r.name);
    switch (format) {
        case Format::Tsv:
            // A name holds no control character, so no tab.
            return Joined(fields, '\t');
        case Format::Csv:
            // Only a name can hold a comma or a quote: times, ROM codes, fixed words and numbers.
            if (names) fields[NameField] = CsvField(fields[NameField]);
            return Joined(fields, ',');
        case Format::Json: {
            std::string object = "{";
            for (size_t i = 0; i < fields.size(); ++i) {
                if (i) object += ",";
                object += JsonString(Fields[i]) + ":";
                const bool number = i == 4 || i == 5;
                if (fields[i].empty() && (number || i == NameField))
                    object += "null";
                else
                    object += number ? fields[i] : JsonString(fields[i]);
            }
            return object + "}";
        }
        case Format::Lines:
            break;
    }
    return {};
}

bool RecordWriter::shows(const RomCode& rom, const std::string& state, States& now) const {
    now[rom] = state;
    if (!changesOnly_) return true;
    const auto last = states_.find(rom);
    return last == states_.end() || last->second != state;
}

void RecordWriter::write(const SensorList& devices, const Pass& pass) {
    std::vector<std::string> lines;
    // A pass that found nothing writes nothing of its own, not even the header; what waits
    // is tried again.
    if (devices.empty()) {
        queue_.write({});
        return;
    }
    States now;
    if (format_ == Format::Lines) {
        for (const SensorRecord& d : devices.records()) {
            std::string temperature = "-", state = "-";
            for (const Reading& r : pass.readings) {
                if (r.rom != d.Rom) continue;
                if (r.passed()) {
                    char text[32];
                    std::snprintf(text, sizeof text, "%.4f", static_cast<double>(r.celsius));
                    temperature = text;
                }
                state = r.state();
            }
            if (!shows(d.Rom, state, now)) continue;
            lines.push_back(RomCodeText(d.Rom) + "\t" + FamilyName(d.Rom[0]) + "\t" +
                            PowerName(d.Power) + "\t" + temperature + "\t" + state);
        }
    } else {
        if (!headerGiven_ && format_ == Format::Csv) queue_.head(HeaderText(format_, names_));
        headerGiven_ = true;
        for (const Reading& r : pass.readings)
            if (shows(r.rom, r.state(), now)) lines.push_back(RecordText(format_, r, names_));
    }
    states_.swap(now);
    queue_.write(std::move(lines));
}

}  // namespace kv::probe
