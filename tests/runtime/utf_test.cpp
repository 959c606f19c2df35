#include "runtime/utf.h"

#include <gtest/gtest.h>

namespace kv {
namespace {

using namespace std::string_view_literals;

TEST(Utf, ValidTextRoundTripsThroughBothForms) {
    const std::u16string text = u"Порт COM3 — 23.6 °C \U0001F321";
    const std::string bytes = Utf8FromUtf16(text);
    EXPECT_EQ(bytes,
              "\xD0\x9F\xD0\xBE\xD1\x80\xD1\x82 COM3 \xE2\x80\x94 23.6 \xC2\xB0"
              "C \xF0\x9F\x8C\xA1");
    EXPECT_EQ(Utf16FromUtf8(bytes), text);
}

TEST(Utf, EveryBadByteBecomesOneReplacementCharacter) {
    // Truncated sequence, bad continuation, overlong form, encoded surrogate, stray bytes.
    EXPECT_EQ(Utf16FromUtf8("\xE2\x82"), u"\uFFFD\uFFFD");
    EXPECT_EQ(Utf16FromUtf8("\xE2\x82"
                            "A"),
              u"\uFFFD\uFFFDA");
    EXPECT_EQ(Utf16FromUtf8("\xC0\xAF"), u"\uFFFD\uFFFD");
    EXPECT_EQ(Utf16FromUtf8("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");
    EXPECT_EQ(Utf16FromUtf8("\xF4\x90\x80\x80"), u"\uFFFD\uFFFD\uFFFD\uFFFD");
    EXPECT_EQ(Utf16FromUtf8("a\xFF"
                            "b"),
              u"a\uFFFDb");
    EXPECT_EQ(Utf16FromUtf8(std::string_view("\0x", 2)), std::u16string(u"\0x", 2));
    // Lone surrogates on the way out.
    EXPECT_EQ(Utf8FromUtf16(std::u16string(1, u'\xD800')), "\xEF\xBF\xBD");
    EXPECT_EQ(Utf8FromUtf16(std::u16string{u'\xDC00', u'a'}),
              "\xEF\xBF\xBD"
              "a");
    EXPECT_EQ(Utf8FromUtf16(std::u16string{u'\xD800', u'\xD800', u'\xDC00'}),
              "\xEF\xBF\xBD\xF0\x90\x80\x80");
}

TEST(Utf, FileNamesThatAreNotUtf8SurviveTheTripThroughUtf16) {
    for (const std::string_view name :
         {"/opt/caf\xE9/kalorivox"sv, "\xFF\xFE"sv, "\xE2\x82"sv, "\xED\xA0\x80"sv,
          "ok \xD0\x9F \xF0\x9F\x8C\xA1 \xC0\xAF"sv}) {
        EXPECT_EQ(PathBytesFromUtf16(Utf16FromPathBytes(name)), name);
    }
    // Valid names read as ordinary text both ways.
    EXPECT_EQ(Utf16FromPathBytes("/tmp/\xD0\x9F"), u"/tmp/\u041F");
    EXPECT_EQ(PathBytesFromUtf16(u"/tmp/\u041F"), "/tmp/\xD0\x9F");
    // Text meant for files keeps replacing what is not UTF-8.
    EXPECT_EQ(Utf8FromUtf16(Utf16FromPathBytes("\xE9")), "\xEF\xBF\xBD");
}

}  // namespace
}  // namespace kv
