// How readings are written on standard output: the probe's own lines, or records for
// spreadsheets and scripts (TSV, CSV with a header line, JSON lines).
#pragma once
#include <chrono>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "probe/bus_pass.h"
#include "probe/options.h"

namespace kv::probe {

// Degrees as a plain decimal number with no more digits than it has: 21.5, -0.25, 85.
std::string DecimalText(double value);
// 2026-12-07T14:03:09Z
std::string IsoUtcText(std::chrono::system_clock::time_point time);

// One record of a reading in the given format, without the line end; Lines has none. With
// `names` the record ends with the sensor's name (empty, or null in JSON, for none).
std::string RecordText(Format format, const Reading& reading, bool names);
// The CSV header line (without its end); empty for the other formats.
std::string HeaderText(Format format, bool names);

class RecordWriter {
  public:
    // `changesOnly` (--quiet): a device's line or record is written only when its state differs
    // from the one in the pass before, or the device is new to the list.
    RecordWriter(Format format, std::FILE* out, bool names, bool changesOnly = false)
        : format_(format), out_(out), names_(names), changesOnly_(changesOnly) {}
    // Every pass is flushed at once: whoever reads the pipe sees each pass when it is done.
    void write(const std::vector<Device>& devices, const Pass& pass);

  private:
    using States = std::map<RomCode, std::string>;
    // Notes the device's state in `now`; whether its line is written.
    bool shows(const RomCode& rom, const std::string& state, States& now) const;

    Format format_;
    std::FILE* out_;
    bool names_;
    bool changesOnly_;
    bool headerWritten_ = false;
    States states_;  // each listed device's state in the last pass
};

}  // namespace kv::probe
