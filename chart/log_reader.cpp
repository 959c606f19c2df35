#include "chart/log_reader.h"

#include <string>

#include "runtime/file_access.h"

namespace kv {
namespace {

constexpr std::string_view ByteOrderMark = "\xEF\xBB\xBF";
constexpr size_t ReadBlock = 1 << 20;
// A record is about 50 bytes: anything much longer is not one, and is not kept whole.
constexpr size_t LongestLine = 1024;
constexpr int64_t MsPerSecond = 1000;

}  // namespace

LogLoad LoadLog(std::u16string_view path, int64_t sinceMs, int64_t untilMs, const LocalZone& zone,
                const std::atomic<bool>& stop) {
    LogLoad load;
    const native::FileHandle file =
        native::OpenRegularFile(path, false, false, native::FileLock::None);
    if (file == native::NoFile) return load;
    load.opened = true;
    // What the worker appends from now on is this run's and reaches the chart directly.
    int64_t left = native::FileSize(file);
    std::string pending;
    bool first = true;
    int64_t lastInstant = INT64_MIN;
    LogRecord record;
    auto takeLine = [&](std::string_view line) {
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        switch (ParseLogLine(line, record)) {
            case LogLineKind::Empty:
                return;
            case LogLineKind::Malformed:
            case LogLineKind::Unsound:
                ++load.skipped;
                return;
            case LogLineKind::Reading:
                break;
        }
        int64_t earlier = 0, later = 0;
        const int instants = zone.Instants(record.localSeconds, earlier, later);
        if (instants == 0) {  // a time the clock skipped: written under another zone
            ++load.skipped;
            return;
        }
        const int64_t instant = earlier >= lastInstant ? earlier : later;
        lastInstant = instant;
        const int64_t instantMs = instant * MsPerSecond;
        if (instantMs > untilMs) return;
        if (instantMs < sinceMs)
            load.older.Add(record.rom, instantMs, record.celsius);
        else
            load.readings[record.rom].push_back({instantMs, record.celsius});
        ++load.records;
    };
    // Keeps the start of a line that goes on in the next block; of one far too long to be a
    // record, enough to see that it is not one.
    auto keep = [&pending](std::string_view piece) {
        if (pending.size() <= LongestLine)
            pending.append(piece.substr(0, LongestLine + 1 - pending.size()));
    };
    while (left > 0 && !stop.load(std::memory_order_relaxed)) {
        std::string block = native::ReadUpTo(file, size_t(std::min<int64_t>(left, ReadBlock)));
        if (block.empty()) break;
        left -= int64_t(block.size());
        std::string_view rest(block);
        if (first) {
            if (rest.substr(0, ByteOrderMark.size()) == ByteOrderMark)
                rest.remove_prefix(ByteOrderMark.size());
            first = false;
        }
        for (size_t end; (end = rest.find('\n')) != std::string_view::npos;) {
            if (pending.empty()) {
                takeLine(rest.substr(0, end));
            } else {
                keep(rest.substr(0, end));
                takeLine(pending);
                pending.clear();
            }
            rest.remove_prefix(end + 1);
        }
        keep(rest);  // what is left is not complete yet
    }
    native::CloseFile(file);
    return load;
}

}  // namespace kv
