// The settings store's tests share a fresh folder and a few helpers.
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "runtime/ini_store.h"
#include "runtime/utf.h"
#include "tests/runtime/temp_folder.h"

namespace kv::testing {

inline constexpr char Mark[] = "\xEF\xBB\xBF\r\n";

class IniStoreTest : public ::testing::Test {
  protected:
    void TearDown() override { IniClose(); }

    std::u16string Path(const std::string& name = "Kalorivox.ini") const {
        return U16(folder.File(name));
    }
    std::string Bytes(const std::string& name = "Kalorivox.ini") const {
        return ReadBytes(folder.File(name));
    }
    // Opens a file holding exactly these bytes.
    void OpenWith(const std::string& bytes) {
        WriteBytes(folder.File("Kalorivox.ini"), bytes);
        ASSERT_NE(IniOpen(Path()), 0);
    }
    static std::string Read(std::u16string_view key) {
        return Utf8FromUtf16(IniReadString(key, u"<default>"));
    }

    TempFolder folder;
};

}  // namespace kv::testing
