// Local wall-clock dates as seconds since 1970-01-01 00:00:00 (no zone), and date masks.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace kv {

using DateValue = int32_t;
inline constexpr DateValue InvalidDate = -1;

DateValue CurrentDate();
DateValue MakeDate(int32_t year, int32_t month, int32_t day, int32_t hour, int32_t minute,
                   int32_t second);
int32_t DateYear(DateValue date);
int32_t DateMonth(DateValue date);
int32_t DateDay(DateValue date);
int32_t DateHour(DateValue date);
int32_t DateMinute(DateValue date);
int32_t DateSecond(DateValue date);
// Tokens after '%', matched ignoring case: yyyy yy mm dd hh ii ss.
std::u16string DateToText(std::u16string_view mask, DateValue date);

}  // namespace kv
