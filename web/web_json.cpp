#include "web/web_json.h"

#include <algorithm>
#include <cstdio>
#include <set>
#include <vector>

#include "chart/chart_model.h"
#include "monitor/limit_check.h"
#include "monitor/sensor_texts.h"
#include "monitor/texts.h"
#include "onewire/thermometer_family.h"
#include "runtime/integer_text.h"
#include "runtime/json_text.h"
#include "runtime/utf.h"

namespace kv::web {
namespace {

std::string Text(std::u16string_view text) {
    return JsonString(Utf8FromUtf16(text));
}

std::string Colour(int32_t colour) {
    if (colour == ui::DefaultColour) return "null";
    char text[16];
    std::snprintf(text, sizeof text, "\"#%02x%02x%02x\"", colour & 0xFF, (colour >> 8) & 0xFF,
                  (colour >> 16) & 0xFF);
    return text;
}

// Every sensor the page knows, in the order the table writes ROM codes: a sensor's colour on
// the chart is the window's colour of its place in that order.
std::vector<RomCode> ChartOrder(const WebModel& model, const ModelView& view) {
    std::vector<RomCode> roms;
    model.history().Read([&](const std::vector<HistorySeries>& all) {
        for (const HistorySeries& s : all) roms.push_back(s.rom);
    });
    for (const Row& row : view.rows)
        if (IsThermometerFamily(row.rom[0])) roms.push_back(row.rom);
    std::sort(roms.begin(), roms.end(), [](const RomCode& a, const RomCode& b) {
        return FormatRomCode(a) < FormatRomCode(b);
    });
    roms.erase(std::unique(roms.begin(), roms.end()), roms.end());
    return roms;
}

std::string SeriesColourOf(const std::vector<RomCode>& order, const RomCode& rom) {
    const auto at = std::find(order.begin(), order.end(), rom);
    return Colour(SeriesColour(static_cast<size_t>(at - order.begin())));
}

std::string LimitsJson(const Limits& limits) {
    if (!limits.on) return "null";
    const LimitBand band = LimitsBand(limits.thermoMin, limits.thermoMax);
    return "{\"min\":" + std::to_string(limits.thermoMin) +
           ",\"max\":" + std::to_string(limits.thermoMax) + ",\"low\":" + DecimalText(band.low) +
           ",\"high\":" + DecimalText(band.high) + ",\"text\":" +
           Text(std::u16string(texts::ChartLimits) + IntegerToText(limits.thermoMin) + u"…" +
                IntegerToText(limits.thermoMax) + std::u16string(texts::DegreesSuffix)) +
           "}";
}

std::string RowJson(const Row& row, const std::string& colour) {
    std::string cells, colours;
    for (size_t i = 0; i < ColumnCount; ++i) {
        cells += (i ? "," : "") + Text(row.cells[i]);
        colours += (i ? "," : "") + Colour(row.colours[i]);
    }
    return "{\"rom\":" + Text(FormatRomCode(row.rom)) +
           ",\"hex\":" + JsonString(RomCodeHex(row.rom)) +
           ",\"name\":" + (row.name.empty() ? "null" : JsonString(row.name)) + ",\"cells\":[" +
           cells + "],\"colours\":[" + colours +
           "],\"celsius\":" + (row.hasReading ? DecimalText(row.celsius) : "null") +
           ",\"time\":" + (row.hasReading ? std::to_string(row.readingMs) : "null") +
           ",\"state\":" + (row.state.empty() ? "null" : JsonString(row.state)) +
           ",\"lost\":" + (row.lost ? "true" : "false") + ",\"colour\":" + colour + "}";
}

std::string TableJson(const WebModel& model, const ModelView& view, int64_t nowMs) {
    const std::vector<RomCode> order = ChartOrder(model, view);
    std::string rows;
    for (const Row& row : view.rows) {
        if (!rows.empty()) rows += ",";
        rows +=
            RowJson(row, IsThermometerFamily(row.rom[0]) ? SeriesColourOf(order, row.rom) : "null");
    }
    const std::u16string_view columns[ColumnCount] = {
        texts::ColumnTypeHeading, texts::ColumnSerialHeading, texts::ColumnPowerHeading,
        texts::ColumnTemperatureHeading, texts::ColumnStatusHeading};
    std::string headings;
    for (size_t i = 0; i < ColumnCount; ++i) headings += (i ? "," : "") + Text(columns[i]);
    return "{\"api\":" + std::to_string(ApiVersion) + ",\"now\":" + std::to_string(nowMs) +
           ",\"version\":" + std::to_string(view.version) + ",\"port\":" + Text(view.port) +
           ",\"portThere\":" + (view.portThere ? "true" : "false") +
           ",\"status\":" + Text(view.statusLine) +
           ",\"interval\":" + std::to_string(view.intervalSeconds) +
           ",\"limits\":" + LimitsJson(view.limits) + ",\"columns\":[" + headings +
           "],\"sensors\":[" + rows + "]}";
}

// One series' points in the span: raw while there are few enough, else thinned per column.
// A gap stands a millisecond after the point before it, so that it never takes a reading's
// place; runs are never joined either (the clock went back between them).
std::string PointsJson(const HistorySeries& series, int64_t baseMs, int64_t sinceMs,
                       int64_t nowMs) {
    std::string points;
    int64_t lastMs = 0;
    bool open = false;  // a point came since the last gap
    auto add = [&](int64_t ms, float celsius) {
        if (!points.empty()) points += ",";
        points += "[" + std::to_string(ms) + "," + DecimalText(celsius) + "]";
        lastMs = ms;
        open = true;
    };
    auto gap = [&] {
        if (!open) return;
        points += ",[" + std::to_string(lastMs + 1) + ",null]";
        open = false;
    };
    size_t inSpan = 0;
    for (const HistoryRun& run : series.runs)
        for (const HistoryPoint& p : run)
            if (!p.isGap() && p.Ms(baseMs) >= sinceMs && p.Ms(baseMs) <= nowMs) ++inSpan;
    if (inSpan <= MaxLinePoints) {
        for (const HistoryRun& run : series.runs) {
            gap();
            for (const HistoryPoint& p : run) {
                const int64_t ms = p.Ms(baseMs);
                if (ms < sinceMs || ms > nowMs) continue;
                if (p.isGap())
                    gap();
                else
                    add(ms, p.celsius);
            }
        }
        return points;
    }
    TimeScale time;
    time.startMs = sinceMs;
    time.endMs = nowMs;
    time.width = ThinColumns;
    for (const HistoryRun& run : series.runs) {
        std::vector<ChartLine> lines;
        ThinRun(run, baseMs, time, lines);
        for (const ChartLine& line : lines) {
            gap();
            // A column's second point stands half a column after its first.
            for (size_t i = 0; i < line.size(); ++i) {
                const int x = line[i].x;
                const int64_t first = time.FirstMs(x);
                const bool second = i > 0 && line[i - 1].x == x;
                add(second ? first + (time.FirstMs(x + 1) - first) / 2 : first, line[i].celsius);
            }
        }
    }
    return points;
}

}  // namespace

std::string SensorsJson(const WebModel& model, int64_t nowMs) {
    return TableJson(model, model.view(), nowMs);
}

std::string HistoryJson(const WebModel& model, std::optional<RomCode> rom, int64_t sinceMs,
                        int64_t nowMs) {
    const ModelView view = model.view();
    const std::vector<RomCode> order = ChartOrder(model, view);
    const int64_t baseMs = model.history().BaseMs();
    std::string series;
    model.history().Read([&](const std::vector<HistorySeries>& all) {
        for (const HistorySeries& s : all) {
            if (rom && s.rom != *rom) continue;
            if (!series.empty()) series += ",";
            series += "{\"rom\":" + Text(FormatRomCode(s.rom)) +
                      ",\"colour\":" + SeriesColourOf(order, s.rom) + ",\"points\":[" +
                      PointsJson(s, baseMs, sinceMs, nowMs) + "]}";
        }
    });
    return "{\"api\":" + std::to_string(ApiVersion) + ",\"now\":" + std::to_string(nowMs) +
           ",\"since\":" + std::to_string(sinceMs) + ",\"series\":[" + series + "]}";
}

std::string PassEventJson(const WebModel& model, int64_t nowMs) {
    const ModelView view = model.view();
    std::string points;
    for (const NewPoint& p : model.lastPoints()) {
        if (!points.empty()) points += ",";
        points += "[" + Text(FormatRomCode(p.rom)) + "," + std::to_string(p.instantMs) + "," +
                  DecimalText(p.celsius) + "]";
    }
    return "{\"table\":" + TableJson(model, view, nowMs) + ",\"points\":[" + points + "]}";
}

}  // namespace kv::web
