// How readings are written on standard output: the probe's own lines, or records for
// spreadsheets and scripts (TSV, CSV with a header line, JSON lines).
#pragma once
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "probe/bus_pass.h"
#include "probe/options.h"
#include "probe/record_queue.h"
#include "runtime/json_text.h"

namespace kv::probe {

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
        : format_(format), queue_(out), names_(names) {}
    // Every pass is handed over at once: whoever reads the pipe sees each pass when it is
    // done. Lines the output cannot take wait (probe/record_queue.h).
    void write(const std::vector<Device>& devices, const Pass& pass);

    const RecordQueue& queue() const { return queue_; }
    // The run ends; true when every line reached the output.
    bool finish() { return queue_.finish(); }

  private:
    Format format_;
    RecordQueue queue_;
    bool names_;
    bool headerGiven_ = false;
};

}  // namespace kv::probe
