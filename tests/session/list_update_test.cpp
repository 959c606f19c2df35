// How a search changes the device list, without a bus: the rule both front ends share.
#include <gtest/gtest.h>

#include <vector>

#include "session/list_update.h"
#include "sim/sim_device.h"

namespace kv {
namespace {

const RomCode RomA = SimMakeRom(0x28, 0x0A00), RomB = SimMakeRom(0x28, 0x0B00),
              RomC = SimMakeRom(0x28, 0x0C00), Other = SimMakeRom(0x01, 0x0D00);

std::vector<RomCode> Codes(const SensorList& list) {
    std::vector<RomCode> out;
    for (const SensorRecord& record : list.records()) out.push_back(record.Rom);
    return out;
}

Enumeration Found(std::vector<RomCode> codes, EnumerationEnd end) {
    Enumeration found;
    found.codes = std::move(codes);
    found.end = end;
    return found;
}

TEST(ListUpdate, AWholeSearchKeepsTheStateOfThoseStillThereAndOnlyAnsweredThermometersGone) {
    SensorList list;
    for (const RomCode& rom : {RomA, RomB, RomC, Other}) list.append()->Rom = rom;
    list.at(0).Temperature = 20.5f;
    list.at(0).Flags = BusError;
    list.at(1).Answered = true;  // B answered once: it stays, marked
    const Enumeration found = Found({RomA}, EnumerationEnd::Complete);
    ListUpdate update = UpdateList(list, found);
    EXPECT_TRUE(update.changed);
    EXPECT_EQ(update.added, 0);
    EXPECT_EQ(Codes(list), (std::vector<RomCode>{RomA, RomB})) << "C never answered, Other is none";
    EXPECT_FLOAT_EQ(list.at(0).Temperature, 20.5f);
    EXPECT_EQ(list.at(0).Flags, BusError);
    EXPECT_EQ(list.at(1).Flags, NotAnswering);
    EXPECT_NE(list.at(1).NotAnsweringSince, InvalidDate);
    EXPECT_EQ(list.current(), nullptr) << "the cursor stands before the first record";

    // The same search again changes nothing; B's mark and its date stay.
    const DateValue since = list.at(1).NotAnsweringSince;
    update = UpdateList(list, found);
    EXPECT_FALSE(update.changed);
    EXPECT_EQ(list.at(1).NotAnsweringSince, since);

    // B is found again: its mark goes, a newcomer comes behind.
    update = UpdateList(list, Found({RomB, RomC, RomA}, EnumerationEnd::Complete));
    EXPECT_TRUE(update.changed);
    EXPECT_EQ(update.added, 1);
    EXPECT_EQ(Codes(list), (std::vector<RomCode>{RomA, RomB, RomC}));
    EXPECT_EQ(list.at(1).Flags, 0);
}

TEST(ListUpdate, ASpoiledSearchOnlyAddsNewcomersWithASoundCode) {
    SensorList list;
    for (const RomCode& rom : {RomA, RomB}) list.append()->Rom = rom;
    RomCode garbled = RomC;
    garbled[3] ^= 0x40;  // its CRC no longer matches
    ListUpdate update = UpdateList(list, Found({RomA, garbled, RomC}, EnumerationEnd::BusError));
    EXPECT_TRUE(update.changed);
    EXPECT_EQ(update.added, 1);
    EXPECT_EQ(Codes(list), (std::vector<RomCode>{RomA, RomB, RomC}))
        << "B stays: the search was cut";
    EXPECT_FALSE(UpdateList(list, Found({RomA}, EnumerationEnd::BusError)).changed);
}

// A search somebody asked for: a complete one keeps a silent thermometer that had answered;
// any other gives what it found, in search order. A bad ROM code is flagged at once.
TEST(ListUpdate, AnAskedSearchMergesOnlyWhenComplete) {
    SensorList list;
    for (const RomCode& rom : {RomA, RomB}) list.append()->Rom = rom;
    list.at(1).Answered = true;
    RomCode bad = RomC;
    bad[7] ^= 0x01;
    TakeAskedSearch(list, Found({bad, RomA}, EnumerationEnd::Complete));
    EXPECT_EQ(Codes(list), (std::vector<RomCode>{RomA, RomB, bad}));
    EXPECT_EQ(list.at(1).Flags, NotAnswering);
    EXPECT_EQ(list.at(2).Flags, RomCrcError);
    EXPECT_FALSE(list.next()) << "the cursor stands on the last record";

    TakeAskedSearch(list, Found({RomC, RomA}, EnumerationEnd::RepeatedCode));
    EXPECT_EQ(Codes(list), (std::vector<RomCode>{RomC, RomA}));
    EXPECT_EQ(list.at(1).Flags, 0) << "records made afresh";
}

}  // namespace
}  // namespace kv
