#include "monitor/log_reader.h"

#include <string>

#include "monitor/texts.h"
#include "onewire/ds18x20.h"
#include "runtime/date_text.h"
#include "runtime/file_access.h"
#include "runtime/utf.h"

namespace kv {
namespace {

constexpr std::string_view ByteOrderMark = "\xEF\xBB\xBF";
constexpr size_t StampLength = 23;    // "[06/12/2026 15:51:09]  "
constexpr size_t RomTextLength = 18;  // "28-0000045A1B2C-84"
constexpr size_t ReadBlock = 1 << 20;
// A record is about 50 bytes: anything much longer is not one, and is not kept whole.
constexpr size_t LongestLine = 1024;
constexpr int64_t MsPerSecond = 1000;

class Cursor {
  public:
    explicit Cursor(std::string_view text) : text_(text) {}
    bool Literal(std::string_view expected) {
        if (text_.substr(at_, expected.size()) != expected) return false;
        at_ += expected.size();
        return true;
    }
    bool Digits(int count, int32_t& value) {
        value = 0;
        for (int i = 0; i < count; ++i, ++at_) {
            if (at_ >= text_.size() || text_[at_] < '0' || text_[at_] > '9') return false;
            value = value * 10 + (text_[at_] - '0');
        }
        return true;
    }
    bool HexByte(uint8_t& value) {
        int got = 0;
        for (int i = 0; i < 2; ++i, ++at_) {
            if (at_ >= text_.size()) return false;
            const char c = text_[at_];
            const int digit = c >= '0' && c <= '9'   ? c - '0'
                              : c >= 'A' && c <= 'F' ? c - 'A' + 10
                              : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                                     : -1;
            if (digit < 0) return false;
            got = got * 16 + digit;
        }
        value = static_cast<uint8_t>(got);
        return true;
    }
    // "-12.5": a sign, whole digits, a point and at least one decimal. Tenths are what the
    // log writes; more decimals are read too.
    bool Decimal(float& value) {
        const bool negative = at_ < text_.size() && text_[at_] == '-';
        if (negative) ++at_;
        int64_t whole = 0, fraction = 0, scale = 1;
        size_t digits = 0;
        for (; at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9'; ++at_, ++digits)
            whole = whole * 10 + (text_[at_] - '0');
        if (digits == 0 || digits > 6 || !Literal(".")) return false;
        digits = 0;
        for (; at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9'; ++at_, ++digits) {
            if (digits < 6) fraction = fraction * 10 + (text_[at_] - '0'), scale *= 10;
        }
        if (digits == 0) return false;
        const double magnitude = double(whole) + double(fraction) / double(scale);
        value = static_cast<float>(negative ? -magnitude : magnitude);
        return true;
    }
    bool AtEnd() const { return at_ == text_.size(); }

  private:
    std::string_view text_;
    size_t at_ = 0;
};

struct Stamp {
    int32_t day, month, year, hour, minute, second;
};

bool ReadStamp(Cursor& in, Stamp& s) {
    return in.Literal("[") && in.Digits(2, s.day) && in.Literal("/") && in.Digits(2, s.month) &&
           in.Literal("/") && in.Digits(4, s.year) && in.Literal(" ") && in.Digits(2, s.hour) &&
           in.Literal(":") && in.Digits(2, s.minute) && in.Literal(":") && in.Digits(2, s.second) &&
           in.Literal("]  ");
}

bool ReadRom(Cursor& in, RomCode& rom) {
    if (!in.HexByte(rom[0]) || !in.Literal("-")) return false;
    for (int i = 6; i >= 1; --i)
        if (!in.HexByte(rom[size_t(i)])) return false;
    return in.Literal("-") && in.HexByte(rom[7]);
}

// The separator and the unit as the log writes them, in UTF-8.
const std::string& Dash() {
    static const std::string dash = Utf8FromUtf16(texts::LogSeparator);
    return dash;
}

const std::string& Degrees() {
    static const std::string degrees = Utf8FromUtf16(texts::DegreesSuffix);
    return degrees;
}

}  // namespace

LogLineKind ParseLogLine(std::string_view line, LogRecord& record) {
    if (line.empty()) return LogLineKind::Empty;
    if (line.size() < StampLength + RomTextLength + Dash().size() + Degrees().size())
        return LogLineKind::Malformed;
    Cursor in(line);
    Stamp s{};
    if (!ReadStamp(in, s) || !ReadRom(in, record.rom) || !in.Literal(Dash()) ||
        !in.Decimal(record.celsius) || !in.Literal(Degrees()) || !in.AtEnd())
        return LogLineKind::Malformed;
    const DateValue date = MakeDate(s.year, s.month, s.day, s.hour, s.minute, s.second);
    if (date == InvalidDate) return LogLineKind::Malformed;
    record.localSeconds = date;
    if (!RomCrcOk(record.rom.data()) || !IsPlausibleTemperature(record.celsius))
        return LogLineKind::Unsound;
    return LogLineKind::Reading;
}

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
        if (instantMs < sinceMs || instantMs > untilMs) return;
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
