#include "probe/prometheus_file.h"

#include "onewire/rom_code_text.h"
#include "probe/device_words.h"
#include "probe/messages.h"
#include "probe/record_format.h"
#include "runtime/file_access.h"
#include "runtime/utf.h"

namespace kv::probe {
namespace {

constexpr size_t MaxCounted = 1024;

void Family(std::string& out, const char* name, const char* type, const char* help) {
    out += "# HELP ";
    out += name;
    out += ' ';
    out += help;
    out += "\n# TYPE ";
    out += name;
    out += ' ';
    out += type;
    out += '\n';
}

// A label value as the exposition format writes it: backslash, quote and line end escaped.
std::string LabelValue(const std::string& text) {
    std::string escaped;
    for (const char c : text) {
        if (c == '\\' || c == '"') escaped += '\\';
        if (c == '\n') {
            escaped += "\\n";
            continue;
        }
        escaped += c;
    }
    return escaped;
}

// {rom="28FF1EC4A3170450",serial="28-0417A3C41EFF-50"} with the family when asked, and the
// name of a named sensor. `rom` keeps the 16 hex digits that existing series, dashboards and
// alerts select on; `serial` is the ROM code as the window and the other outputs write it.
std::string SensorLabels(const Reading& r, bool family) {
    std::string labels = "{rom=\"" + RomCodeHex(r.rom) + "\",serial=\"" + RomCodeText(r.rom) + "\"";
    if (family) labels += ",family=\"" + std::string(FamilyName(r.rom[0])) + "\"";
    if (!r.name.empty()) labels += ",name=\"" + LabelValue(r.name) + "\"";
    return labels + "}";
}

}  // namespace

std::string PrometheusFile::text(const Pass& last) const {
    std::string out;
    Family(out, "kalorivox_up", "gauge",
           "1 when the last pass reached the bus, 0 while the port is gone or the bus fails.");
    out += std::string("kalorivox_up ") + (last.sound ? "1" : "0") + "\n";
    Family(out, "kalorivox_temperature_celsius", "gauge",
           "Temperature of each thermometer whose reading in the last pass passed its checks.");
    for (const Reading& r : last.readings) {
        if (!r.passed()) continue;
        out += "kalorivox_temperature_celsius" + SensorLabels(r, true) + " " +
               DecimalText(r.celsius) + "\n";
    }
    Family(out, "kalorivox_reading_errors_total", "counter",
           "Readings of each thermometer that failed since the probe started.");
    // Only the thermometers on the bus now: a code that a noisy search made up once would
    // otherwise stay in the file for good.
    for (const Reading& r : last.readings) {
        const auto count = errors_.find(r.rom);
        out += "kalorivox_reading_errors_total" + SensorLabels(r, false) + " " +
               std::to_string(count == errors_.end() ? 0 : count->second) + "\n";
    }
    if (!last.readings.empty()) {
        Family(out, "kalorivox_pass_duration_seconds", "gauge",
               "Time of the last pass over the bus, from the conversion to the last reading.");
        out += "kalorivox_pass_duration_seconds " + DecimalText(last.seconds) + "\n";
    }
    Family(out, "kalorivox_records_write_failing", "gauge",
           "1 while standard output cannot take the records, which wait meanwhile.");
    out += std::string("kalorivox_records_write_failing ") + (recordsFailing_ ? "1" : "0") + "\n";
    Family(out, "kalorivox_records_dropped_total", "counter",
           "Records dropped because more waited for standard output than are kept.");
    out += "kalorivox_records_dropped_total " + std::to_string(recordsDropped_) + "\n";
    return out;
}

bool PrometheusFile::update(const Pass& pass) {
    for (const Reading& r : pass.readings) errors_[r.rom] += r.passed() ? 0 : 1;
    // A sensor that comes back keeps its count, but made-up codes must not pile up.
    if (errors_.size() > MaxCounted) {
        std::map<RomCode, int64_t> current;
        for (const Reading& r : pass.readings) current[r.rom] = errors_[r.rom];
        errors_.swap(current);
    }
    // The new file is made beside the old one under a name that does not end in .prom,
    // which the collector does not read.
    if (native::ReplaceFileContents(Utf16FromUtf8(path_), text(pass)) !=
        native::ReplaceResult::Done) {
        if (!failing_) Message("cannot write " + path_);
        failing_ = true;
        return false;
    }
    failing_ = false;
    return true;
}

}  // namespace kv::probe
