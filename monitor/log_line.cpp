#include "monitor/log_line.h"

#include "monitor/sensor_texts.h"
#include "monitor/texts.h"
#include "onewire/ds18x20.h"
#include "runtime/utf.h"

namespace kv {
namespace {

constexpr size_t StampLength = 23;  // "[06/12/2026 15:51:09]  "

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

std::u16string LogStampText(DateValue when) {
    return DateToText(texts::LogDateMask, when);
}

std::u16string LogReadingText(const std::u16string& romText, float celsius) {
    return romText + std::u16string(texts::LogSeparator) + TemperatureText(celsius);
}

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

}  // namespace kv
