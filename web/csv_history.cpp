#include "web/csv_history.h"

#include <charconv>
#include <chrono>
#include <cmath>

#include "monitor/sensor_names.h"
#include "onewire/rom_code_text.h"
#include "runtime/file_access.h"
#include "runtime/integer_text.h"
#include "runtime/utf.h"

namespace kv::web {
namespace {

constexpr size_t ChunkBytes = 1 << 20;
// time, rom, family, power, resolution, celsius, state: the fields before the name.
constexpr size_t TimeField = 0, RomField = 1, CelsiusField = 5, StateField = 6, Fields = 7;
constexpr char SoundState[] = "ok";
// 2026-12-07T14:03:09Z
constexpr size_t IsoTextLength = 20;

std::optional<int64_t> IsoUtcMs(std::string_view text) {
    if (text.size() != IsoTextLength || text[4] != '-' || text[7] != '-' || text[10] != 'T' ||
        text[13] != ':' || text[16] != ':' || text[19] != 'Z')
        return std::nullopt;
    const auto year = ParseWholeInteger(text.substr(0, 4), 1970, 9999);
    const auto month = ParseWholeInteger(text.substr(5, 2), 1, 12);
    const auto day = ParseWholeInteger(text.substr(8, 2), 1, 31);
    const auto hour = ParseWholeInteger(text.substr(11, 2), 0, 23);
    const auto minute = ParseWholeInteger(text.substr(14, 2), 0, 59);
    const auto second = ParseWholeInteger(text.substr(17, 2), 0, 60);
    if (!year || !month || !day || !hour || !minute || !second) return std::nullopt;
    using namespace std::chrono;
    const year_month_day date{std::chrono::year(static_cast<int>(*year)),
                              std::chrono::month(static_cast<unsigned>(*month)),
                              std::chrono::day(static_cast<unsigned>(*day))};
    if (!date.ok()) return std::nullopt;
    const int64_t days = sys_days(date).time_since_epoch().count();
    return ((days * 24 + *hour) * 60 + *minute) * 60'000 + *second * 1000;
}

}  // namespace

bool ParseCsvReading(std::string_view line, RomCode& rom, LoadedReading& reading) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    std::string_view fields[Fields];
    for (size_t i = 0; i < Fields; ++i) {
        const size_t comma = line.find(',');
        if (comma == std::string_view::npos && i + 1 < Fields) return false;
        fields[i] = line.substr(0, comma);
        line = comma == std::string_view::npos ? std::string_view() : line.substr(comma + 1);
    }
    if (fields[StateField] != SoundState) return false;
    const auto instant = IsoUtcMs(fields[TimeField]);
    const auto code = ParseRomCodeText(fields[RomField]);
    const std::string_view celsius = fields[CelsiusField];
    double value = 0;
    const auto [end, error] =
        std::from_chars(celsius.data(), celsius.data() + celsius.size(), value);
    if (!instant || !code || celsius.empty() || error != std::errc() ||
        end != celsius.data() + celsius.size() || !std::isfinite(value))
        return false;
    rom = *code;
    reading.instantMs = *instant;
    reading.celsius = static_cast<float>(value);
    return true;
}

CsvLoad LoadCsvHistory(const std::string& path, int64_t sinceMs, int64_t untilMs) {
    CsvLoad load;
    const native::FileHandle file =
        native::OpenRegularFile(Utf16FromPathBytes(path), false, false, native::FileLock::None);
    if (file == native::NoFile) return load;
    load.opened = true;
    const int64_t size = native::FileSize(file);
    // Past the start, the first line read is most likely a part of one: it is skipped.
    bool partFirst = size > MaxCsvReadBytes;
    if (partFirst) native::SeekTo(file, size - MaxCsvReadBytes);
    std::string pending;
    auto take = [&](std::string_view line) {
        RomCode rom{};
        LoadedReading reading;
        if (partFirst) {
            partFirst = false;
            return;
        }
        if (!ParseCsvReading(line, rom, reading) || reading.instantMs < sinceMs ||
            reading.instantMs > untilMs) {
            ++load.skipped;
            return;
        }
        load.readings[rom].push_back(reading);
        ++load.records;
    };
    for (;;) {
        const std::string chunk = native::ReadUpTo(file, ChunkBytes);
        if (chunk.empty()) break;
        pending += chunk;
        size_t start = 0;
        for (size_t end; (end = pending.find('\n', start)) != std::string::npos; start = end + 1)
            take(std::string_view(pending).substr(start, end - start));
        pending.erase(0, start);
        if (chunk.size() < ChunkBytes) break;
    }
    // A last line without its end may still be being written: it does not count.
    native::CloseFile(file);
    return load;
}

}  // namespace kv::web
