// The readings as a Prometheus text-exposition file for node_exporter's textfile
// collector. The file is replaced whole after each pass, so the collector never reads half
// a file, and when the port is gone, so that no temperature outlives its pass there.
#pragma once
#include <cstdint>
#include <map>
#include <string>

#include "onewire/search.h"
#include "probe/pass_readings.h"
#include "probe/record_queue.h"

namespace kv::probe {

class PrometheusFile {
  public:
    explicit PrometheusFile(std::string path) : path_(std::move(path)) {}

    // Counts the pass's failed readings, then rewrites the file; false when it could not
    // (reported once until a write succeeds again). A pass that is not sound and has no
    // readings stands for a port that is gone.
    bool update(const Pass& pass);

    // The file's text after the passes counted so far, with the last pass's readings.
    std::string text(const Pass& last) const;

    // How the records on standard output fare, told with the next update.
    void records(const RecordQueue& queue) {
        recordsFailing_ = queue.failing();
        recordsDropped_ = queue.dropped();
    }
    bool failing() const { return failing_; }  // the last update could not write the file

  private:
    std::string path_;
    std::map<RomCode, int64_t> errors_;  // failed readings per thermometer since the start
    bool failing_ = false;
    bool recordsFailing_ = false;
    int64_t recordsDropped_ = 0;
};

}  // namespace kv::probe
