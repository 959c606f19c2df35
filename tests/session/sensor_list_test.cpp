#include <gtest/gtest.h>

#include "session/sensor_list.h"

namespace kv {
namespace {

TEST(SensorList, NewRecordIsZeroFilled) {
    SensorList list;
    SensorRecord* record = list.append();
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->Temperature, 0.0f);
    EXPECT_EQ(record->Flags, 0);
    EXPECT_EQ(record->Rom, RomCode{});
}

TEST(SensorList, CursorOnEmptyList) {
    SensorList list;
    EXPECT_FALSE(list.next());
    EXPECT_FALSE(list.first());
    EXPECT_EQ(list.current(), nullptr);
    EXPECT_EQ(list.cursorIndex(), -1);
}

TEST(SensorList, WalksInAppendOrder) {
    SensorList list;
    for (uint8_t i = 1; i <= 3; ++i) list.append()->Rom[0] = i;
    EXPECT_EQ(list.count(), 3);
    // Appending leaves the cursor on the new last record: next fails.
    EXPECT_FALSE(list.next());
    EXPECT_EQ(list.current(), nullptr);

    list.resetCursor();
    for (uint8_t i = 1; i <= 3; ++i) {
        ASSERT_TRUE(list.next());
        EXPECT_EQ(list.current()->Rom[0], i);
        EXPECT_EQ(list.cursorIndex(), i - 1);
    }
    EXPECT_FALSE(list.next());
    EXPECT_FALSE(list.next());  // stays past the last
    ASSERT_TRUE(list.first());
    EXPECT_EQ(list.current()->Rom[0], 1);
}

TEST(SensorList, AppendGoesBehindTheCurrentRecord) {
    SensorList list;
    list.append()->Rom[0] = 1;
    list.append()->Rom[0] = 3;
    ASSERT_TRUE(list.first());
    list.append()->Rom[0] = 2;  // behind record 1, and current now
    EXPECT_EQ(list.cursorIndex(), 1);
    list.resetCursor();
    list.append()->Rom[0] = 0;  // before the first: at the front
    for (uint8_t i = 0; i < 4; ++i) EXPECT_EQ(list.at(i).Rom[0], i);
}

TEST(SensorList, ClearEmptiesAndResets) {
    SensorList list;
    list.append();
    list.append();
    list.clear();
    EXPECT_EQ(list.count(), 0);
    EXPECT_FALSE(list.first());
    list.append()->Rom[0] = 9;
    list.resetCursor();
    ASSERT_TRUE(list.next());
    EXPECT_EQ(list.current()->Rom[0], 9);
}

}  // namespace
}  // namespace kv
