#include "tools/probe/prometheus_file.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "tools/probe/record_format.h"

namespace kv::probe {
namespace {

// The collector reads only *.prom files, so the half-written one beside it is never taken.
constexpr char TemporarySuffix[] = ".tmp";
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
        out += "kalorivox_temperature_celsius{rom=\"" + RomHex(r.rom) + "\",family=\"" +
               FamilyName(r.rom[0]) + "\"} " + DecimalText(r.celsius) + "\n";
    }
    Family(out, "kalorivox_reading_errors_total", "counter",
           "Readings of each thermometer that failed since the probe started.");
    // Only the thermometers on the bus now: a code that a noisy search made up once would
    // otherwise stay in the file for good.
    for (const Reading& r : last.readings) {
        const auto count = errors_.find(r.rom);
        out += "kalorivox_reading_errors_total{rom=\"" + RomHex(r.rom) + "\"} " +
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
    const std::string temporary = path_ + TemporarySuffix;
    bool written = false;
    {
        std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
        file << text(pass);
        file.close();
        written = !file.fail();
    }
    std::error_code error;
    if (written) std::filesystem::rename(temporary, path_, error);
    if (!written || error) {
        std::filesystem::remove(temporary, error);
        if (!failing_) Message("cannot write " + path_);
        failing_ = true;
        return false;
    }
    failing_ = false;
    return true;
}

}  // namespace kv::probe
