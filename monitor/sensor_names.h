// The names a user gives the sensors: a small UTF-8 text file of `ROM = name` lines, the ROM
// code as the programs print it (28-0417A3C41EFF-50) or as 16 hex digits in bus order
// (28FF1EC4A3170450, as in MQTT topics), `#` starting a comment line. Names of sensors not on the
// bus do no harm.
#pragma once
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "onewire/search.h"

namespace kv {

using NameMap = std::map<RomCode, std::string>;

// A names file is a few lines per sensor; anything much larger is no names file.
inline constexpr size_t MaxNamesFileBytes = 256 * 1024;

// false with "line N: reason" for the first line that is not a comment, a blank line or a
// `ROM = name` pair with a sound ROM code (its CRC matches) named once and a name of
// printable UTF-8 text.
bool ParseSensorNames(std::string_view text, NameMap& names, std::string& error);

// A names file (the probe's --names, the window's Kalorivox-names.txt), read again when its
// content changes.
class SensorNames {
  public:
    explicit SensorNames(std::string path) : path_(std::move(path)) {}

    // Reads and parses the file; false with a reason (the names stay as they were).
    bool load(std::string& error);
    // Reads the file again; true when the names changed. A file that cannot be read or
    // parsed now keeps the names it gave before; `trouble`, when given, is set to why, once
    // for each new trouble.
    bool refresh(std::string* trouble = nullptr);

    bool active() const { return !path_.empty(); }
    // The sensor's name; empty when it has none.
    std::string nameOf(const RomCode& rom) const;
    const NameMap& names() const { return names_; }

  private:
    bool adopt(std::string text, std::string& error);

    std::string path_;
    std::string text_;       // the content the names were parsed from
    std::string lastError_;  // the trouble said last, until the file is sound again
    NameMap names_;
};

}  // namespace kv
