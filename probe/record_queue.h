// The records on their way to standard output, whatever it is (a file, a pipe, a terminal).
// A record is one line, handed to the system whole or not at all (native::WriteWhole), so a
// full disk never keeps part of one. Records the output cannot take wait, in order, and go
// first once it takes them again; beyond `capacity` the oldest are dropped and counted. The
// failure is said once on stderr, and so is the way back, with how many were dropped. A
// pipe whose reader has gone wants no more records: that is said once, and none are kept.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <string>
#include <vector>

#include "runtime/file_access.h"

namespace kv::probe {

// Eight hours of ten sensors read every 15 s, in about two megabytes.
inline constexpr size_t MaxWaitingRecords = 20'000;

class RecordQueue {
  public:
    explicit RecordQueue(std::FILE* out, size_t capacity = MaxWaitingRecords);

    // The line before the first record (the CSV header): it is never dropped.
    void head(std::string line);
    // Adds the records (lines without their end) and writes what waits, oldest first; true
    // when nothing waits any more.
    bool write(std::vector<std::string> records);
    // The run ends: a last attempt. True when every record reached the output; otherwise
    // says how many did not.
    bool finish();

    bool failing() const { return failing_; }
    size_t waiting() const { return waiting_.size(); }
    int64_t dropped() const { return dropped_; }  // since the start

  private:
    bool writeOut();
    bool refused();

    native::FileHandle file_;
    size_t capacity_;
    bool readerGone_ = false;
    std::string head_;  // not written yet
    std::deque<std::string> waiting_;
    int64_t dropped_ = 0;
    int64_t droppedSaid_ = 0;
    bool failing_ = false;
};

}  // namespace kv::probe
