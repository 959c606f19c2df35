#include <gtest/gtest.h>

#include "monitor/sensor_texts.h"
#include "monitor/status_text.h"
#include "monitor/texts.h"
#include "runtime/utf.h"

namespace kv {
namespace {

std::string Few(int64_t n) {
    return Utf8FromUtf16(PluralForm(n, u"one", u"few", u"many"));
}

TEST(PluralForm, RussianCountRules) {
    for (int64_t n : {1, 21, 31, 101, 121, 1001}) EXPECT_EQ(Few(n), "one") << n;
    for (int64_t n : {2, 3, 4, 22, 24, 102, 134}) EXPECT_EQ(Few(n), "few") << n;
    for (int64_t n : {0, 5, 9, 10, 11, 12, 14, 19, 20, 25, 100, 111, 112, 114, 211})
        EXPECT_EQ(Few(n), "many") << n;
}

TEST(TemperatureText, OneDecimalAndDegreeSign) {
    EXPECT_EQ(TemperatureText(23.5625f), u"23.6 °C");
    EXPECT_EQ(TemperatureText(-10.125f), u"-10.1 °C");
    EXPECT_EQ(TemperatureText(85.0f), u"85.0 °C");
    EXPECT_EQ(TemperatureText(-0.0625f), u"-0.1 °C");
    EXPECT_EQ(TemperatureText(0.0f), u"0.0 \u00B0C");
}

std::u16string StatusLineFor(int64_t devices, int64_t faulty, int64_t limits) {
    return FoundDevicesText(devices) + StatusSuffixText(faulty, limits);
}

TEST(StatusText, DeviceCountsByteExact) {
    // The one-form has no blank of its own, the other two forms bring one.
    EXPECT_EQ(StatusLineFor(1, 0, 0), u"Найдено 1 '1-Wire' устройство.");
    EXPECT_EQ(StatusLineFor(2, 0, 0), u"Найдено 2 '1-Wire'  устройства.");
    EXPECT_EQ(StatusLineFor(5, 0, 0), u"Найдено 5 '1-Wire'  устройств.");
    EXPECT_EQ(StatusLineFor(11, 0, 0), u"Найдено 11 '1-Wire'  устройств.");
    EXPECT_EQ(StatusLineFor(21, 0, 0), u"Найдено 21 '1-Wire' устройство.");
}

TEST(StatusText, FaultyAndLimitTails) {
    EXPECT_EQ(StatusLineFor(3, 0, 0), u"Найдено 3 '1-Wire'  устройства.");
    EXPECT_EQ(StatusLineFor(5, 2, 1),
              u"Найдено 5 '1-Wire'  устройств.    Обнаружено 2 датчика с ошибками в работе  В 1 "
              u"датчике зафиксирован выход за пределы допустимой температуры");
    EXPECT_EQ(StatusLineFor(2, 0, 2),
              u"Найдено 2 '1-Wire'  устройства.  В 2 датчиках зафиксирован выход за пределы "
              u"допустимой температуры");
    EXPECT_EQ(StatusSuffixText(1, 0), u".    Обнаружен 1 датчик с ошибками в работе");
    EXPECT_EQ(StatusSuffixText(5, 0), u".    Обнаружены 5 датчиков с ошибками в работе");
    EXPECT_EQ(StatusSuffixText(21, 11),
              u".    Обнаружен 21 датчик с ошибками в работе  В 11 датчиках зафиксирован выход "
              u"за пределы допустимой температуры");
    // The idle branch's -1 is not a count of anything.
    EXPECT_EQ(StatusSuffixText(0, -1), u".");
}

TEST(StatusText, PortMessages) {
    EXPECT_EQ(PortOpenFailedText(u"COM3"),
              u"Не удалось открыть порт 'COM3'  Возможно он зянят или отстуствует в системе");
    EXPECT_EQ(NothingFoundText(u"COM1"), u"На порту COM1, '1-Wire' устройства не найдены.");
}

}  // namespace
}  // namespace kv
