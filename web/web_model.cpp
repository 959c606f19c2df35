#include "web/web_model.h"

#include <algorithm>

#include "monitor/limit_check.h"
#include "monitor/sensor_texts.h"
#include "monitor/status_text.h"
#include "monitor/table_colours.h"
#include "monitor/texts.h"
#include "monitor/window_ids.h"
#include "onewire/ds18x20.h"
#include "onewire/result.h"

namespace kv::web {
namespace {

// How far apart one sensor's readings are meant to be: an interval and the pass itself.
constexpr int64_t PassTimeMs = 1'000;
constexpr int64_t MsPerSecond = 1'000;
// The history reaches back this far from the start: two days, as the window keeps.
constexpr int64_t HistoryReachMs = 2 * HistoryDayMs;

std::u16string_view PowerText(PowerMode power) {
    switch (power) {
        case PowerMode::External:
            return texts::PowerExternal;
        case PowerMode::Parasite:
            return texts::PowerParasite;
        case PowerMode::Unknown:
            break;
    }
    return texts::PowerUnknown;
}

void SetCell(Row& row, int column, std::u16string_view text, int32_t colour) {
    row.cells[column] = text;
    row.colours[column] = colour;
}

}  // namespace

WebModel::WebModel(std::u16string port, int32_t intervalSeconds, Limits limits, int64_t nowMs)
    : port_(std::move(port)),
      intervalSeconds_(intervalSeconds),
      limits_(limits),
      history_(nowMs - HistoryReachMs) {
    history_.SetInterval(std::max(1, intervalSeconds));
}

Row& WebModel::rowFor(const PassDevice& device, std::vector<Row>& rows) const {
    const auto known =
        std::find_if(rows_.begin(), rows_.end(), [&](const Row& r) { return r.rom == device.rom; });
    if (known != rows_.end()) {
        rows.push_back(*known);
    } else {
        // A new row, as the window builds it after a search.
        Row row;
        row.rom = device.rom;
        for (int32_t& colour : row.colours) colour = ui::DefaultColour;
        const bool romSound = RomCrcOk(device.rom.data());
        SetCell(row, ColumnType, DeviceTypeName(device.rom[0]), ui::DefaultColour);
        SetCell(row, ColumnSerial,
                FormatRomCode(device.rom) +
                    std::u16string(romSound ? std::u16string_view() : texts::RomCrcWarning),
                romSound ? ui::DefaultColour : FaultColour);
        if (IsThermometerFamily(device.rom[0])) {
            SetCell(row, ColumnTemperature, texts::Measuring, ui::DefaultColour);
            SetCell(row, ColumnStatus, texts::Initialising, ui::DefaultColour);
        }
        rows.push_back(std::move(row));
    }
    Row& row = rows.back();
    row.name = device.name;
    SetCell(row, ColumnPower, PowerText(device.power), ui::DefaultColour);
    return row;
}

// The window's cells for a reading: a temperature shown whenever the scratchpad holds one,
// the status cell "OK" on the default colour and anything else on the fault colour.
void WebModel::showReading(Row& row, const PassDevice& d, int64_t instantMs, DateValue date,
                           int& errors, int& outside) const {
    row.state = ReadingStateName(Reading{.rom = d.rom, .verdict = d.verdict, .result = d.result});
    bool faulty = !RomCrcOk(d.rom.data());
    switch (d.verdict) {
        case Verdict::Ok:
        case Verdict::OutOfRange:
        case Verdict::RomCrc: {
            int32_t colour = ui::DefaultColour;
            if (d.verdict == Verdict::OutOfRange) {
                colour = LimitColour;
                faulty = true;
            } else if (d.verdict == Verdict::Ok && limits_.on &&
                       !InsideLimits(d.celsius, limits_.thermoMin, limits_.thermoMax)) {
                colour = LimitColour;
                ++outside;
            }
            SetCell(row, ColumnTemperature, TemperatureText(d.celsius), colour);
            SetCell(row, ColumnStatus, texts::ReadingOk, ui::DefaultColour);
            if (d.verdict == Verdict::RomCrc) row.cells[ColumnTemperature].clear();
            break;
        }
        case Verdict::PowerOn:
            SetCell(row, ColumnStatus, texts::ReadingPowerOn, FaultColour);
            faulty = true;
            break;
        case Verdict::ScratchpadCrc:
        case Verdict::LineHeldLow:
            SetCell(row, ColumnStatus, texts::ReadingCrcError, FaultColour);
            faulty = true;
            break;
        case Verdict::BusFailure:
        case Verdict::Unfinished:
            SetCell(row, ColumnStatus, OneWireResultText(d.result), FaultColour);
            faulty = true;
            break;
    }
    if (d.verdict == Verdict::Ok) {
        row.hasReading = true;
        row.readingMs = instantMs;
        row.celsius = d.celsius;
    }
    // Not heard pass after pass: gone since the first pass it missed.
    if (d.answered) {
        row.unheardPasses = 0;
        row.lost = false;
    } else if (++row.unheardPasses == 1) {
        row.lostSince = date;
    }
    if (row.unheardPasses >= LostAfterPasses) {
        row.lost = true;
        SetCell(row, ColumnStatus, NotAnsweringText(row.lostSince), FaultColour);
        faulty = true;
    }
    if (faulty) ++errors;
}

void WebModel::takePass(const PassInput& pass) {
    std::vector<NewPoint> points;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        std::vector<Row> rows;
        int errors = 0, outside = 0;
        for (const PassDevice& d : pass.devices) {
            Row& row = rowFor(d, rows);
            if (!d.measured) continue;
            showReading(row, d, pass.instantMs, pass.localDate, errors, outside);
            if (d.verdict == Verdict::Ok) points.push_back({d.rom, pass.instantMs, d.celsius});
        }
        rows_.swap(rows);
        lastPoints_ = points;
        portThere_ = true;
        statusLine_ = FoundDevicesText(static_cast<int64_t>(rows_.size())) +
                      StatusSuffixText(errors, outside);
    }
    const int64_t spacing = int64_t{std::max(1, intervalSeconds_)} * MsPerSecond + PassTimeMs;
    for (const NewPoint& p : points) history_.Add(p.rom, p.instantMs, p.celsius, spacing);
    changed();
}

void WebModel::portLost(bool atStart) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        portThere_ = false;
        statusLine_ = atStart ? PortMissingText(port_) : PortGoneText(port_);
        lastPoints_.clear();
        for (Row& row : rows_) {
            SetCell(row, ColumnTemperature, u"", ui::DefaultColour);
            SetCell(row, ColumnStatus, statusLine_, FaultColour);
        }
    }
    changed();
}

void WebModel::loadHistory(const std::map<RomCode, std::vector<LoadedReading>>& readings) {
    history_.AddLoaded(readings);
    changed();
}

ModelView WebModel::view() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return ModelView{port_, statusLine_, portThere_, intervalSeconds_, limits_, rows_, version_};
}

std::vector<NewPoint> WebModel::lastPoints() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lastPoints_;
}

uint64_t WebModel::version() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return version_;
}

void WebModel::setNotify(std::function<void()> notify) {
    std::lock_guard<std::mutex> lock(mutex_);
    notify_ = std::move(notify);
}

void WebModel::changed() {
    std::function<void()> notify;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++version_;
        notify = notify_;
    }
    if (notify) notify();
}

}  // namespace kv::web
