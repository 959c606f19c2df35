// The two measuring modes, the waits, the limits and what a reading shows.
#include <filesystem>
#include <fstream>
#include <iterator>

#include "monitor/monitor_worker.h"
#include "monitor/texts.h"
#include "monitor/window_ids.h"
#include "onewire/ds18x20.h"
#include "runtime/utf.h"
#include "tests/monitor/log_text.h"
#include "tests/monitor/worker_scenarios.h"
#include "ui/toolkit.h"

namespace kv::test {
namespace {

using ui::DefaultColour;

TEST_F(WorkerTest, CommonConversionReadsAllThermometersEachPass) {
    auto bus = h.addBus(u"BUS1");
    const RomCode a = B20(0x0A), b = B20(0x0B), c = S20(0x0C);
    bus->addThermometer(a, 21.5);
    bus->addThermometer(b, -10.125);
    bus->addThermometer(c, 25.0);
    h.choosePort(u"BUS1");
    h.start();

    ASSERT_TRUE(h.step());  // opens, searches, builds the rows, converts; waits 800 ms
    EXPECT_EQ(h.status(), u"Найдено 3 '1-Wire'  устройства.");
    ASSERT_EQ(h.rows(), 3);
    EXPECT_EQ(h.cell(rowOf(a), 3), u"Измерение");

    const int64_t firstPassStart = h.nowMs();
    ASSERT_TRUE(runPasses(1));
    EXPECT_EQ(h.cell(rowOf(a), 3), u"21.5 °C");
    EXPECT_EQ(h.cell(rowOf(b), 3), u"-10.1 °C");
    EXPECT_EQ(h.cell(rowOf(c), 3), u"25.0 °C");
    for (int row = 0; row < 3; ++row) {
        EXPECT_EQ(h.cell(row, 4), u"OK");
        for (int column = 0; column < 5; ++column) EXPECT_EQ(h.colour(row, column), DefaultColour);
    }
    EXPECT_EQ(h.status(), u"Найдено 3 '1-Wire'  устройства.");
    EXPECT_EQ(MonitorWorkerStatistics().readings, 3u);
    // One Convert T for all: the pass cost one 800 ms wait, not three.
    EXPECT_LT(h.nowMs() - firstPassStart, 1000);

    // Interval 1: the next pass follows after the 100 ms and 800 ms sleeps only.
    const int64_t passEnd = h.nowMs();
    ASSERT_TRUE(runPasses(2));
    EXPECT_GE(h.nowMs() - passEnd, 900);
    EXPECT_LT(h.nowMs() - passEnd, 1000);
    EXPECT_EQ(MonitorWorkerStatistics().readings, 6u);
    ASSERT_TRUE(h.stop());
    EXPECT_EQ(h.result(), 0);
}

TEST_F(WorkerTest, SeparatePollingMarksThePolledRowAndCountsOnlyThatDevice) {
    auto bus = h.addBus(u"BUS1");
    const RomCode roms[3] = {B20(0x10), B20(0x30), B20(0x08)};  // found in this order
    for (const RomCode& rom : roms) bus->addThermometer(rom, 20.0);
    bus->device(roms[1])->setCorruptScratchpadCrc(true);
    ControlBlock.ConvertOnly = 1;
    h.choosePort(u"BUS1");
    h.start();
    ASSERT_TRUE(h.step());
    const int row[3] = {rowOf(roms[0]), rowOf(roms[1]), rowOf(roms[2])};
    ASSERT_EQ(row[0], 0);
    ASSERT_EQ(row[2], 2);
    const std::u16string clean = u"Найдено 3 '1-Wire'  устройства.";
    const std::u16string faulty = clean + u"    Обнаружен 1 датчик с ошибками в работе";

    ASSERT_TRUE(runPasses(1));  // one device per iteration, the first in the list
    EXPECT_EQ(MonitorWorkerStatistics().readings, 1u);
    EXPECT_EQ(h.colour(row[0], 0), PolledColour);
    EXPECT_EQ(h.cell(row[1], 3), u"Измерение");
    EXPECT_EQ(h.status(), clean);

    ASSERT_TRUE(runPasses(2));
    EXPECT_EQ(h.colour(row[0], 0), DefaultColour);
    EXPECT_EQ(h.colour(row[1], 0), PolledColour);
    EXPECT_EQ(h.cell(row[1], 3), u"Измерение") << "a reading that failed its CRC shows nothing";
    EXPECT_EQ(h.cell(row[1], 4), u"Ошибка CRC");
    EXPECT_EQ(h.colour(row[1], 4), FaultColour);
    EXPECT_EQ(h.status(), faulty);

    ASSERT_TRUE(runPasses(3));
    EXPECT_EQ(h.colour(row[1], 0), DefaultColour);
    EXPECT_EQ(h.colour(row[2], 0), PolledColour);
    EXPECT_EQ(h.status(), clean);  // the tail goes at the next good device

    const int64_t before = h.nowMs();
    ASSERT_TRUE(runPasses(4));  // round again to the first
    EXPECT_EQ(h.colour(row[2], 0), DefaultColour);
    EXPECT_EQ(h.colour(row[0], 0), PolledColour);
    EXPECT_GE(h.nowMs() - before, 900);  // every device pays its own conversion wait
    EXPECT_EQ(MonitorWorkerStatistics().readings, 4u);
    ASSERT_TRUE(h.stop());
}

// The window takes the marker away when separate polling is switched off; a reading that
// was already under way must not put it back for good.
TEST_F(WorkerTest, NoPolledMarkerSurvivesSwitchingSeparatePollingOff) {
    auto bus = h.addBus(u"BUS1");
    for (uint64_t serial = 1; serial <= 3; ++serial) bus->addThermometer(B20(serial), 20.0);
    const auto markedRows = [&] {
        int marked = 0;
        for (int row = 0; row < h.rows(); ++row) marked += h.colour(row, 0) == PolledColour;
        return marked;
    };
    const auto switchOff = [&](bool windowResets) {
        ControlBlock.ConvertOnly = 0;
        if (windowResets) {
            ui::SetItemColour(MainWindow, SensorTable, ui::AllRows, ui::ColourBackground,
                              DefaultColour, ColumnType);
        }
    };
    ControlBlock.ConvertOnly = 1;
    h.choosePort(u"BUS1");
    h.start();
    ASSERT_TRUE(runPasses(1));
    ASSERT_EQ(markedRows(), 1);

    // Switched off during the next device's conversion wait.
    ASSERT_TRUE(h.step(2));
    switchOff(true);
    ASSERT_TRUE(runPasses(3));
    EXPECT_EQ(markedRows(), 0);

    // The window's reset came before the worker's colouring of that device had landed.
    ControlBlock.ConvertOnly = 1;
    ASSERT_TRUE(runPasses(4));
    ASSERT_EQ(markedRows(), 1);
    switchOff(false);
    ASSERT_TRUE(runPasses(5));
    EXPECT_EQ(markedRows(), 0);
    ASSERT_TRUE(h.stop());
}

TEST_F(WorkerTest, IntervalWaitIsCutByAPortChangeAndByAStop) {
    auto bus = h.addBus(u"BUS1");
    bus->addThermometer(B20(1), 20.0);
    auto other = h.addBus(u"BUS2");
    other->addThermometer(B20(2), 20.0);
    other->addThermometer(B20(3), 20.0);
    ControlBlock.Interval = 5;
    h.choosePort(u"BUS1");
    h.start();
    ASSERT_TRUE(runPasses(1));
    int64_t end = h.nowMs();
    ASSERT_TRUE(runPasses(2));
    // 40 sleeps of interval, then 100 ms and 800 ms: passes start about 5 s apart.
    EXPECT_GE(h.nowMs() - end, 4900);
    EXPECT_LT(h.nowMs() - end, 5000);

    // A port change two sleeps into the wait ends it at once.
    ASSERT_TRUE(h.step(2));
    h.choosePort(u"BUS2");
    ControlBlock.ReopenPort = 1;
    end = h.nowMs();
    ASSERT_TRUE(h.stepUntil([&] { return h.status() == u"Найдено 2 '1-Wire'  устройства."; }, 5));
    EXPECT_LE(h.nowMs() - end, 400);  // two sleeps and the search, not the 38 sleeps left

    // A stop during the wait: the worker ends after that sleep.
    ASSERT_TRUE(runPasses(3));
    end = h.nowMs();
    ASSERT_TRUE(h.stop(2));
    EXPECT_LE(h.nowMs() - end, 150);
}

TEST_F(WorkerTest, PortChangeDuringTheConversionWaitReadsAtOnceThenReopens) {
    auto bus = h.addBus(u"BUS1");
    bus->addThermometer(B20(1), 20.0);
    bus->addThermometer(B20(2), 20.0);
    auto other = h.addBus(u"BUS2");
    other->addThermometer(B20(3), 30.0);
    h.choosePort(u"BUS1");
    h.start();
    ASSERT_TRUE(runPasses(1));
    ASSERT_TRUE(h.step(3));  // the loop sleep, then two sleeps into the conversion wait
    h.choosePort(u"BUS2");
    ControlBlock.ReopenPort = 1;
    const int64_t asked = h.nowMs();
    ASSERT_TRUE(h.step());  // the wait ends: readings and the pass end follow at once
    EXPECT_EQ(MonitorWorkerStatistics().passEnds, 2u);
    EXPECT_EQ(MonitorWorkerStatistics().readings, 4u);
    EXPECT_LE(h.nowMs() - asked, 150);  // one sleep and the readings
    EXPECT_EQ(h.rows(), 2);
    ASSERT_TRUE(h.step());  // the next iteration reopens
    EXPECT_EQ(h.status(), u"Найдено 1 '1-Wire' устройство.");
    ASSERT_TRUE(runPasses(3));
    EXPECT_EQ(h.cell(0, 3), u"30.0 °C");
}

TEST_F(WorkerTest, LimitsCompareWholeDegreesTruncatedTowardZero) {
    auto bus = h.addBus(u"BUS1");
    const RomCode in25 = B20(1), out26 = B20(2), inMinus10 = B20(3), outMinus11 = B20(4),
                  s20in = S20(5), s20out = S20(6);
    bus->addThermometer(in25, 0)->setRawTemperature(0x019F);      // 25.9375
    bus->addThermometer(out26, 0)->setRawTemperature(0x01A0);     // 26.0
    bus->addThermometer(inMinus10, 0)->setRawTemperature(-175);   // -10.9375
    bus->addThermometer(outMinus11, 0)->setRawTemperature(-176);  // -11.0
    bus->addThermometer(s20in, 0)->setRawTemperature(51);         // 25.5
    bus->addThermometer(s20out, 0)->setRawTemperature(-22);       // -11.0
    ControlBlock.ThermoControl = 1;
    ControlBlock.ThermoMin = -10;
    ControlBlock.ThermoMax = 25;
    h.choosePort(u"BUS1");
    h.start();
    ASSERT_TRUE(runPasses(1));
    EXPECT_EQ(h.cell(rowOf(in25), 3), u"25.9 °C");
    EXPECT_EQ(h.cell(rowOf(s20in), 3), u"25.5 °C");
    for (const RomCode& rom : {in25, inMinus10, s20in})
        EXPECT_EQ(h.colour(rowOf(rom), 3), ui::DefaultColour) << Utf8FromUtf16(FormatRomCode(rom));
    for (const RomCode& rom : {out26, outMinus11, s20out})
        EXPECT_EQ(h.colour(rowOf(rom), 3), LimitColour) << Utf8FromUtf16(FormatRomCode(rom));
    // Outside the limits is not faulty: status cells say OK, only the tail counts them.
    for (int row = 0; row < 6; ++row) EXPECT_EQ(h.cell(row, 4), u"OK");
    EXPECT_EQ(h.status(),
              u"Найдено 6 '1-Wire'  устройств.  В 3 датчиках зафиксирован выход за "
              u"пределы допустимой температуры");

    ControlBlock.ThermoControl = 0;  // read afresh at the next reading
    ASSERT_TRUE(runPasses(2));
    for (int row = 0; row < 6; ++row) EXPECT_EQ(h.colour(row, 3), ui::DefaultColour);
    EXPECT_EQ(h.status(), u"Найдено 6 '1-Wire'  устройств.");
}

TEST_F(WorkerTest, PlausibleRangeEdgesAndOutOfRangeCountsAsFaultyNotAsLimit) {
    auto bus = h.addBus(u"BUS1");
    const RomCode low = B20(1), high = B20(2), tooLow = B20(3), tooHigh = B20(4), s20 = S20(5);
    bus->addThermometer(low, 0)->setRawTemperature(static_cast<int16_t>(0xFC90));     // -55.0
    bus->addThermometer(high, 0)->setRawTemperature(0x07F0);                          // 127.0
    bus->addThermometer(tooLow, 0)->setRawTemperature(static_cast<int16_t>(0xFC88));  // -55.5
    bus->addThermometer(tooHigh, 0)->setRawTemperature(0x07F8);                       // 127.5
    bus->addThermometer(s20, 0)->setRawTemperature(0x0100);                           // 128.0
    ControlBlock.ThermoControl = 1;
    ControlBlock.ThermoMin = -100;
    ControlBlock.ThermoMax = 200;
    h.choosePort(u"BUS1");
    h.start();
    ASSERT_TRUE(runPasses(1));
    EXPECT_EQ(h.cell(rowOf(low), 3), u"-55.0 °C");
    EXPECT_EQ(h.cell(rowOf(high), 3), u"127.0 °C");
    EXPECT_EQ(h.cell(rowOf(tooLow), 3), u"-55.5 °C");
    EXPECT_EQ(h.cell(rowOf(s20), 3), u"128.0 °C");
    EXPECT_EQ(h.colour(rowOf(low), 3), ui::DefaultColour);
    EXPECT_EQ(h.colour(rowOf(high), 3), ui::DefaultColour);
    for (const RomCode& rom : {tooLow, tooHigh, s20}) {
        EXPECT_EQ(h.colour(rowOf(rom), 3), LimitColour);
        EXPECT_EQ(h.cell(rowOf(rom), 4), u"OK");
    }
    EXPECT_EQ(h.status(),
              u"Найдено 5 '1-Wire'  устройств.    Обнаружено 3 датчика с ошибками в работе");

    bus->device(tooHigh)->setRawTemperature(0x0550);  // back in range: 85.0
    ASSERT_TRUE(runPasses(2));
    EXPECT_EQ(h.colour(rowOf(tooHigh), 3), ui::DefaultColour);
    EXPECT_EQ(h.cell(rowOf(tooHigh), 3), u"85.0 °C");
    EXPECT_EQ(h.status(),
              u"Найдено 5 '1-Wire'  устройств.    Обнаружено 2 датчика с ошибками в работе");
}

TEST_F(WorkerTest, OtherFamiliesAreNeverReadAndBadRomCrcEmptiesTheTemperature) {
    auto bus = h.addBus(u"BUS1");
    const RomCode unknown = SimMakeRom(0x20, 0x77);  // sorts first on the bus
    const RomCode good = B20(0x10);
    RomCode badRom = B20(0x11);
    badRom[7] ^= 0x01;
    bus->addDevice(unknown);
    bus->addThermometer(good, 22.0);
    bus->addThermometer(badRom, 23.0);
    h.choosePort(u"BUS1");
    h.start();
    ASSERT_TRUE(runPasses(2));
    ASSERT_EQ(rowOf(unknown), 0);
    EXPECT_EQ(h.cell(0, 0), u"Неизвестное устройство");
    EXPECT_EQ(h.cell(0, 3), u"");
    EXPECT_EQ(h.cell(0, 4), u"");
    EXPECT_EQ(h.cell(rowOf(good), 3), u"22.0 °C");  // the devices after it use their own rows
    EXPECT_EQ(h.cell(rowOf(badRom), 3), u"");
    EXPECT_EQ(h.cell(rowOf(badRom), 4), u"OK");
    EXPECT_EQ(h.colour(rowOf(badRom), 1), FaultColour);
    EXPECT_EQ(MonitorWorkerStatistics().readings, 4u);  // two thermometers, two passes
    EXPECT_EQ(h.status(),
              u"Найдено 3 '1-Wire'  устройства.    Обнаружен 1 датчик с ошибками в работе");
}

TEST_F(WorkerTest, SeparatePollingWithoutThermometersStillEndsPassesAndReopens) {
    auto bus = h.addBus(u"BUS1");
    bus->addDevice(SimMakeRom(0x01, 0x42));
    auto other = h.addBus(u"BUS2");
    other->addThermometer(B20(1), 20.0);
    ControlBlock.ConvertOnly = 1;
    h.choosePort(u"BUS1");
    h.start();
    ASSERT_TRUE(runPasses(3));
    EXPECT_EQ(MonitorWorkerStatistics().readings, 0u);
    h.choosePort(u"BUS2");
    ControlBlock.ReopenPort = 1;
    ASSERT_TRUE(h.stepUntil([&] { return h.status() == u"Найдено 1 '1-Wire' устройство."; }, 20));
}

// A reading goes only as far as its checks allow: one that failed its CRC leaves the
// temperature cell as it was; a device whose ROM code is bad has its cell emptied; a value no
// part can measure is shown on the limit colour. None of them counts toward the limits or
// reaches the log.
TEST_F(WorkerTest, OnlySoundReadingsAreCountedAgainstTheLimitsAndLogged) {
    const auto folder = h.useTempFolder();
    auto bus = h.addBus(u"BUS1");
    const RomCode good = B20(0x0000045A1B2C), s20 = S20(5), corrupt = B20(2), implausible = B20(3);
    RomCode badRom = B20(4);
    badRom[7] ^= 0x01;
    bus->addThermometer(good, 23.5625);
    bus->addThermometer(s20, 25.0);
    bus->addThermometer(corrupt, 40.0)->setCorruptScratchpadCrc(true);
    bus->addThermometer(badRom, 40.0);
    bus->addThermometer(implausible, 0)->setRawTemperature(0x07FE);  // 127.875 °C
    ControlBlock.Log = 1;
    ControlBlock.ThermoControl = 1;
    ControlBlock.ThermoMin = 15;
    ControlBlock.ThermoMax = 30;
    h.choosePort(u"BUS1");
    h.start();
    ASSERT_TRUE(runPasses(2));
    EXPECT_EQ(h.cell(rowOf(corrupt), 3), u"Измерение");
    EXPECT_EQ(h.colour(rowOf(corrupt), 3), ui::DefaultColour);
    EXPECT_EQ(h.cell(rowOf(corrupt), 4), u"Ошибка CRC");
    EXPECT_EQ(h.cell(rowOf(badRom), 3), u"");
    EXPECT_EQ(h.cell(rowOf(badRom), 4), u"OK");
    EXPECT_EQ(h.cell(rowOf(implausible), 3), u"127.9 °C");
    EXPECT_EQ(h.colour(rowOf(implausible), 3), LimitColour);
    EXPECT_EQ(h.cell(rowOf(good), 3), u"23.6 °C");
    EXPECT_EQ(h.status(),
              u"Найдено 5 '1-Wire'  устройств.    Обнаружено 3 датчика с ошибками в работе");
    ASSERT_TRUE(h.stop());

    // Log records come in the order of the rows, pass after pass.
    std::string expected = Mark;
    for (int pass = 0; pass < 2; ++pass) {
        for (int row = 0; row < h.rows(); ++row) {
            if (row == rowOf(good)) expected += "<stamp>  " + Record(good, "23.6") + "\r\n";
            if (row == rowOf(s20)) expected += "<stamp>  " + Record(s20, "25.0") + "\r\n";
        }
    }
    EXPECT_EQ(Unstamped(FileBytes(folder / Utf8FromUtf16(texts::LogFileName))), expected);
    EXPECT_EQ(MonitorWorkerStatistics().logRecords, 4u);
}

// A short across the bus after the search: every slot reads 0, so each scratchpad is nine
// zero bytes whose CRC matches. That is the line, not a reading of 0.0 degrees.
TEST_F(WorkerTest, ALineHeldLowIsNotTakenForAReading) {
    const auto folder = h.useTempFolder();
    auto bus = h.addBus(u"BUS1");
    const RomCode rom = B20(0x0000045A1B2C);
    bus->addThermometer(rom, 23.5625);
    ControlBlock.Log = 1;
    h.choosePort(u"BUS1");
    h.start();
    ASSERT_TRUE(runPasses(1));
    bus->setStuckLow(true);
    ASSERT_TRUE(runPasses(2));
    EXPECT_EQ(h.cell(rowOf(rom), 3), u"23.6 °C") << "the last reading stays";
    EXPECT_EQ(h.cell(rowOf(rom), 4), u"Ошибка CRC");
    ASSERT_TRUE(h.stop());

    const std::string log = Unstamped(FileBytes(folder / Utf8FromUtf16(texts::LogFileName)));
    EXPECT_EQ(log, std::string(Mark) +
                       "<stamp>  28-0000045A1B2C-84  \xE2\x80\x94  23.6 \xC2\xB0"
                       "C\r\n");
}

}  // namespace
}  // namespace kv::test
