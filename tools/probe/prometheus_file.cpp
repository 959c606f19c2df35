#include "tools/probe/prometheus_file.h"

#include "runtime/file_access.h"
#include "runtime/utf.h"
#include "tools/probe/record_format.h"

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

}  // namespace

std::string PrometheusFile::text(const Pass& last) const {
    std::string out;
    Family(out, "kalorivox_temperature_celsius", "gauge",
           "Temperature of each thermometer whose reading in the last pass passed its checks.");
    for (const Reading& r : last.readings) {
        if (!r.passed()) continue;
        out += "kalorivox_temperature_celsius{rom=\"" + RomCodeHex(r.rom) + "\",family=\"" +
               FamilyName(r.rom[0]) + "\"} " + DecimalText(r.celsius) + "\n";
    }
    Family(out, "kalorivox_reading_errors_total", "counter",
           "Readings of each thermometer that failed since the probe started.");
    // Only the thermometers on the bus now: a code that a noisy search made up once would
    // otherwise stay in the file for good.
    for (const Reading& r : last.readings) {
        const auto count = errors_.find(r.rom);
        out += "kalorivox_reading_errors_total{rom=\"" + RomCodeHex(r.rom) + "\"} " +
               std::to_string(count == errors_.end() ? 0 : count->second) + "\n";
    }
    Family(out, "kalorivox_pass_duration_seconds", "gauge",
           "Time of the last pass over the bus, from the conversion to the last reading.");
    out += "kalorivox_pass_duration_seconds " + DecimalText(last.seconds) + "\n";
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
