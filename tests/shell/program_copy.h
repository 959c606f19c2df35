// The real program as a user runs it: a copy of the executable alone in a fresh folder (its
// settings file and log live beside it), started as a process of its own on Qt's offscreen
// platform. POSIX only.
#pragma once
#include <sys/types.h>

#include <chrono>
#include <string>

#include "tests/runtime/temp_folder.h"

namespace kv::testing {

class ProgramCopy {
  public:
    // Copies `program` into the folder; copied() tells whether that worked.
    explicit ProgramCopy(const std::string& program);
    // A process still running is killed before the folder goes.
    ~ProgramCopy();
    ProgramCopy(const ProgramCopy&) = delete;
    ProgramCopy& operator=(const ProgramCopy&) = delete;

    bool copied() const { return copied_; }
    std::string File(const std::string& name) const { return folder_.File(name); }

    // Started from elsewhere, so the program must find its own folder by itself. Qt's leak
    // reports are filtered through `leakSuppressions` when the program is a sanitizer build.
    bool Launch(const std::string& leakSuppressions);
    bool Signal(int signal) const;
    // True once the process has ended; `status` is its raw wait status then.
    bool Ended(int& status);
    // The raw wait status, or -1 when the process still runs after `limit`.
    int WaitForExit(std::chrono::milliseconds limit);

  private:
    TempFolder folder_;
    std::string program_;
    bool copied_ = false;
    pid_t pid_ = -1;
};

}  // namespace kv::testing
