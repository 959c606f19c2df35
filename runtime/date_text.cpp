#include "runtime/date_text.h"

#include "runtime/letter_case.h"
#include "runtime/local_time.h"

namespace kv {
namespace {

constexpr int64_t SecondsPerDay = 86400;
constexpr int32_t FirstYear = 1970;
constexpr int32_t LastYear = 2038;
constexpr DateValue LastDate = 2147483647;  // 2038-01-19 03:14:07

bool isLeapYear(int32_t year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int32_t daysInMonth(int32_t year, int32_t month) {
    switch (month) {
        case 2:
            return isLeapYear(year) ? 29 : 28;
        case 4:
        case 6:
        case 9:
        case 11:
            return 30;
        default:
            return 31;
    }
}

// Days from 1970-01-01 to the given date of the proleptic Gregorian calendar.
int64_t daysFromEpoch(int64_t year, int64_t month, int64_t day) {
    year -= month <= 2;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const int64_t yearOfEra = year - era * 400;
    const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

struct Fields {
    int32_t year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

// Calendar fields of a date; all zero for anything outside the valid range.
Fields split(DateValue date) {
    Fields f;
    if (date < 0) return f;
    const int64_t days = date / SecondsPerDay;
    const int64_t rest = date % SecondsPerDay;
    f.hour = static_cast<int32_t>(rest / 3600);
    f.minute = static_cast<int32_t>(rest / 60 % 60);
    f.second = static_cast<int32_t>(rest % 60);
    // The inverse of daysFromEpoch.
    const int64_t z = days + 719468;
    const int64_t era = z / 146097;
    const int64_t dayOfEra = z - era * 146097;
    const int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t mp = (5 * dayOfYear + 2) / 153;
    f.day = static_cast<int32_t>(dayOfYear - (153 * mp + 2) / 5 + 1);
    f.month = static_cast<int32_t>(mp < 10 ? mp + 3 : mp - 9);
    f.year = static_cast<int32_t>(yearOfEra + era * 400 + (f.month <= 2));
    return f;
}

void appendDigits(std::u16string& out, int32_t value, int width) {
    char16_t digits[4];
    for (int i = width - 1; i >= 0; --i) {
        digits[i] = static_cast<char16_t>(u'0' + value % 10);
        value /= 10;
    }
    out.append(digits, width);
}

bool startsWithToken(std::u16string_view text, std::u16string_view token) {
    if (text.size() < token.size()) return false;
    for (size_t i = 0; i < token.size(); ++i) {
        if (FoldCase(text[i]) != token[i]) return false;
    }
    return true;
}

}  // namespace

DateValue MakeDate(int32_t year, int32_t month, int32_t day, int32_t hour, int32_t minute,
                   int32_t second) {
    if (year < FirstYear || year > LastYear) return InvalidDate;
    if (month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month)) return InvalidDate;
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59) {
        return InvalidDate;
    }
    const int64_t count =
        daysFromEpoch(year, month, day) * SecondsPerDay + hour * 3600 + minute * 60 + second;
    if (count > LastDate) return InvalidDate;
    return static_cast<DateValue>(count);
}

DateValue CurrentDate() {
    native::WallClock now;
    if (!native::ReadLocalWallClock(now)) return InvalidDate;
    return MakeDate(now.year, now.month, now.day, now.hour, now.minute, now.second);
}

int32_t DateYear(DateValue date) {
    return split(date).year;
}
int32_t DateMonth(DateValue date) {
    return split(date).month;
}
int32_t DateDay(DateValue date) {
    return split(date).day;
}
int32_t DateHour(DateValue date) {
    return split(date).hour;
}
int32_t DateMinute(DateValue date) {
    return split(date).minute;
}
int32_t DateSecond(DateValue date) {
    return split(date).second;
}

std::u16string DateToText(std::u16string_view mask, DateValue date) {
    const Fields f = split(date);
    std::u16string out;
    out.reserve(mask.size() + 8);
    size_t i = 0;
    while (i < mask.size()) {
        if (mask[i] != u'%') {
            out.push_back(mask[i++]);
            continue;
        }
        const std::u16string_view rest = mask.substr(i + 1);
        // Order matters: "yyyy" must win over "yy".
        if (startsWithToken(rest, u"yyyy")) {
            appendDigits(out, f.year, 4), i += 5;
        } else if (startsWithToken(rest, u"yy")) {
            appendDigits(out, f.year % 100, 2), i += 3;
        } else if (startsWithToken(rest, u"mm")) {
            appendDigits(out, f.month, 2), i += 3;
        } else if (startsWithToken(rest, u"dd")) {
            appendDigits(out, f.day, 2), i += 3;
        } else if (startsWithToken(rest, u"hh")) {
            appendDigits(out, f.hour, 2), i += 3;
        } else if (startsWithToken(rest, u"ii")) {
            appendDigits(out, f.minute, 2), i += 3;
        } else if (startsWithToken(rest, u"ss")) {
            appendDigits(out, f.second, 2), i += 3;
        } else {
            out.push_back(mask[i++]);
        }
    }
    return out;
}

}  // namespace kv
