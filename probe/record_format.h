// How readings are written on standard output: the probe's own lines, or records for
// spreadsheets and scripts (TSV, CSV with a header line, JSON lines).
#pragma once
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "probe/options.h"
#include "probe/pass_readings.h"
#include "session/sensor_list.h"

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
    RecordWriter(Format format, std::FILE* out, bool names)
        : format_(format), out_(out), names_(names) {}
    // Every pass is flushed at once: whoever reads the pipe sees each pass when it is done.
    void write(const SensorList& devices, const Pass& pass);

  private:
    Format format_;
    std::FILE* out_;
    bool names_;
    bool headerWritten_ = false;
};

}  // namespace kv::probe
