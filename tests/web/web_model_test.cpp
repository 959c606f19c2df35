// The live page's model and API texts: the window's cells and colours for every kind of
// reading, a sensor that stops answering, the port that goes, the chart's history thinned and
// with its gaps, the CSV read back, and the listening address.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>

#include "sim/sim_device.h"
#include "tests/runtime/temp_folder.h"
#include "ui/toolkit.h"
#include "web/csv_history.h"
#include "web/web_json.h"
#include "web/web_model.h"
#include "web/web_server.h"

namespace kv::web {
namespace {

constexpr int64_t Start = 1'796'700'000'000;  // 2026-12-07, milliseconds since 1970 UTC
const RomCode Warm = SimMakeRom(0x28, 0x0417A3C41EFF), Cold = SimMakeRom(0x10, 0x0008021B6F3A),
              Other = SimMakeRom(0x01, 0x0D4C22A1);

PassDevice Measured(const RomCode& rom, Verdict verdict, float celsius, bool answered = true) {
    PassDevice d{rom, PowerMode::External, ""};
    d.measured = true;
    d.verdict = verdict;
    d.celsius = celsius;
    d.answered = answered;
    return d;
}

PassInput Pass(int64_t ms, std::vector<PassDevice> devices) {
    return PassInput{ms, MakeDate(2026, 12, 7, 14, 5, 0), std::move(devices), true};
}

const Row& RowOf(const ModelView& view, const RomCode& rom) {
    for (const Row& r : view.rows)
        if (r.rom == rom) return r;
    throw std::runtime_error("no row");
}

// Every cell as the window's table shows it, with the window's colours; the status line too.
TEST(WebModel, ShowsEveryReadingAsTheWindowDoes) {
    WebModel model(u"ttyUSB0", 1, Limits{true, 20, 22}, Start);
    RomCode badRom = SimMakeRom(0x28, 0x1234AB);
    badRom[7] ^= 1;
    PassDevice parasite = Measured(Cold, Verdict::Ok, -10.125f);
    parasite.power = PowerMode::Parasite;
    parasite.name = "<img src=x onerror=alert(1)>";
    PassDevice other{Other, PowerMode::Unknown, ""};
    model.takePass(Pass(Start, {Measured(Warm, Verdict::Ok, 21.5f), parasite, other,
                                Measured(badRom, Verdict::RomCrc, 22.0f)}));
    ModelView view = model.view();
    const Row& warm = RowOf(view, Warm);
    EXPECT_EQ(warm.cells[0], u"DS18B20");
    EXPECT_EQ(warm.cells[1], u"28-0417A3C41EFF-" + warm.cells[1].substr(16));
    EXPECT_EQ(warm.cells[2], u"3 вывода");
    EXPECT_EQ(warm.cells[3], u"21.5 °C");
    EXPECT_EQ(warm.cells[4], u"OK");
    for (int32_t colour : warm.colours) EXPECT_EQ(colour, ui::DefaultColour);
    const Row& cold = RowOf(view, Cold);
    EXPECT_EQ(cold.cells[0], u"DS1820 / DS18S20");
    EXPECT_EQ(cold.cells[2], u"2 вывода ('паразитное' питание)");
    EXPECT_EQ(cold.cells[3], u"-10.1 °C");
    EXPECT_EQ(cold.colours[3], ui::Rgb(255, 249, 171));  // outside 20..22
    const Row& unknown = RowOf(view, Other);
    EXPECT_EQ(unknown.cells[0], u"Неизвестное устройство");
    EXPECT_EQ(unknown.cells[2], u"Ошибка");
    EXPECT_TRUE(unknown.cells[3].empty() && unknown.cells[4].empty());
    const Row& bad = RowOf(view, badRom);
    EXPECT_NE(bad.cells[1].find(u"  ОШИБКА CRC"), std::u16string::npos);
    EXPECT_EQ(bad.colours[1], ui::Rgb(253, 136, 136));
    EXPECT_TRUE(bad.cells[3].empty());
    EXPECT_EQ(view.statusLine,
              u"Найдено 4 '1-Wire'  устройства.    Обнаружен 1 датчик с ошибками в работе  В 1 "
              u"датчике зафиксирован выход за пределы допустимой температуры");

    // A failed reading keeps the temperature and says why on the fault colour; a sensor not
    // heard two passes running is no longer answering, since the first pass it missed.
    PassDevice gone = Measured(Warm, Verdict::BusFailure, 0, false);
    gone.result = 2;
    model.takePass(Pass(Start + 1000, {Measured(Warm, Verdict::ScratchpadCrc, 0), parasite}));
    EXPECT_EQ(RowOf(model.view(), Warm).cells[4], u"Ошибка CRC");
    EXPECT_EQ(RowOf(model.view(), Warm).cells[3], u"21.5 °C");
    model.takePass(Pass(Start + 2000, {gone, parasite}));
    EXPECT_FALSE(RowOf(model.view(), Warm).lost);
    model.takePass(Pass(Start + 3000, {gone, parasite}));
    view = model.view();
    EXPECT_TRUE(RowOf(view, Warm).lost);
    EXPECT_EQ(RowOf(view, Warm).cells[4], u"Не отвечает с 07/12 14:05");
    EXPECT_EQ(RowOf(view, Warm).colours[4], ui::Rgb(253, 136, 136));
    EXPECT_TRUE(RowOf(view, Warm).hasReading);
    EXPECT_EQ(RowOf(view, Warm).readingMs, Start);

    // The port goes: every row says so, as the status line does.
    model.portLost(false);
    view = model.view();
    EXPECT_EQ(view.statusLine, u"Порт 'ttyUSB0' отключён");
    EXPECT_EQ(RowOf(view, Cold).cells[4], u"Порт 'ttyUSB0' отключён");
    EXPECT_TRUE(RowOf(view, Cold).cells[3].empty());
    const std::string json = SensorsJson(model, Start + 4000);
    EXPECT_NE(json.find("\"portThere\":false"), std::string::npos);
    EXPECT_NE(json.find("\"name\":\"<img src=x onerror=alert(1)>\""), std::string::npos);
}

// A day of readings every second: each line of the chart holds at most 2,000 points, keeps
// the extremes, and has its gaps; a short span is given as it was read.
TEST(WebModel, HistoryIsThinnedToTheScreenWithItsGaps) {
    const int64_t day = 24 * 3600 * 1000LL;
    WebModel model(u"DEMO", 1, Limits{}, Start - day);
    std::map<RomCode, std::vector<LoadedReading>> loaded;
    for (int64_t s = 0; s < 24 * 3600; ++s) {
        if (s >= 3600 && s < 7200) continue;  // an hour missing
        const float celsius = s == 50'000 ? 60.0f : 20.0f + static_cast<float>(s % 60) / 16;
        loaded[Warm].push_back({Start - day + s * 1000, celsius});
    }
    model.loadHistory(loaded);
    const std::string all = HistoryJson(model, Warm, Start - day, Start);
    const std::regex point(R"(\[(\d+),(-?[\d.]+|null)\])");
    size_t values = 0, gaps = 0;
    bool peak = false;
    int64_t last = 0;
    for (auto it = std::sregex_iterator(all.begin(), all.end(), point);
         it != std::sregex_iterator(); ++it) {
        const int64_t ms = std::stoll((*it)[1]);
        EXPECT_GE(ms, last) << "in time order";
        last = ms;
        if ((*it)[2] == "null") {
            ++gaps;
        } else {
            ++values;
            peak = peak || (*it)[2] == "60";
        }
    }
    EXPECT_LE(values, MaxLinePoints);
    EXPECT_GT(values, MaxLinePoints / 2);
    EXPECT_EQ(gaps, 1u);
    EXPECT_TRUE(peak) << "the extreme survives the thinning";

    const std::string recent = HistoryJson(model, Warm, Start - 10'000, Start);
    EXPECT_NE(recent.find("[" + std::to_string(Start - 10'000) + ","), std::string::npos) << recent;
    EXPECT_EQ(HistoryJson(model, Cold, Start - day, Start).find("\"rom\""), std::string::npos);
}

TEST(WebCsv, ReadsBackTheSoundReadingsOfTheLastDay) {
    kv::testing::TempFolder folder;
    const std::string path = folder.File("readings.csv");
    {
        std::ofstream f(path);
        f << "time,rom,family,power,resolution,celsius,state,name\n"
             "2026-12-07T14:03:09Z,28FF1EC4A3170450,DS18B20,external,12,21.5,ok,\"a, b\"\n"
             "2026-12-07T14:03:09Z,28-0316B2A07C5E-91,DS18B20,external,12,,crc,\n"
             "2026-12-05T14:03:09Z,28FF1EC4A3170450,DS18B20,external,12,20,ok,\n"
             "garbage\n"
             "2026-12-07T14:03:10Z,28FF1EC4A3170450,DS18B20,external,12,-0.25,ok\n"
             "2026-12-07T14:03:11Z,28FF1EC4A3170450,DS18B20,external,12,22";  // still written
    }
    const CsvLoad load = LoadCsvHistory(path, 1'796'600'000'000, 1'796'800'000'000);
    EXPECT_TRUE(load.opened);
    ASSERT_EQ(load.readings.size(), 1u);
    const auto& readings = load.readings.begin()->second;
    ASSERT_EQ(readings.size(), 2u);
    EXPECT_EQ(readings[0].instantMs, 1'796'652'189'000);
    EXPECT_EQ(readings[0].celsius, 21.5f);
    EXPECT_EQ(readings[1].celsius, -0.25f);
    EXPECT_EQ(load.skipped, 4);
}

TEST(WebListen, AddressesAreLoopbackUnlessChosen) {
    ServerSettings s;
    ASSERT_TRUE(ParseListenAddress("8080", s));
    EXPECT_EQ(s.address, "127.0.0.1");
    EXPECT_EQ(s.port, 8080);
    ASSERT_TRUE(ParseListenAddress("[::1]:80", s));
    EXPECT_EQ(s.address, "::1");
    EXPECT_TRUE(IsLoopbackAddress(s.address));
    ASSERT_TRUE(ParseListenAddress("0.0.0.0:8080", s));
    EXPECT_FALSE(IsLoopbackAddress(s.address));
    for (const char* bad : {"", "0", "65536", "::1:80", "[::1]", ":80", "host:x", "[::1]80"})
        EXPECT_FALSE(ParseListenAddress(bad, s)) << bad;
}

}  // namespace
}  // namespace kv::web
