// The live page's own picture of the bus: one row per device as the window's table shows it
// (the same texts and colours), the status line in the program's own words, and the readings
// of the last days for the chart, kept and thinned as the window keeps them. The logger feeds
// it after every pass; the server's threads read it.
#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "chart/reading_history.h"
#include "onewire/reading_verdict.h"
#include "runtime/date_text.h"

namespace kv::web {

enum class PowerMode { External, Parasite, Unknown };

// One device of a pass, as the feed hands it over.
struct PassDevice {
    RomCode rom{};
    PowerMode power = PowerMode::Unknown;
    std::string name;       // the user's name for it, empty for none
    bool measured = false;  // a thermometer read in this pass; the rest of the fields tell how
    Verdict verdict = Verdict::Unfinished;
    int32_t result = 0;  // the 1-Wire result of a bus failure
    float celsius = 0;
    bool answered = false;  // the device was heard (a scratchpad passed its CRC)
};

struct PassInput {
    int64_t instantMs = 0;            // milliseconds since 1970-01-01 UTC
    DateValue localDate = 0;          // the same instant on the local wall clock
    std::vector<PassDevice> devices;  // in the order of the search
    bool sound = true;                // the conversion went out
};

struct Limits {
    bool on = false;
    int thermoMin = 0, thermoMax = 0;
};

// A thermometer not heard in this many passes in a row is shown as no longer answering.
inline constexpr int32_t LostAfterPasses = 2;
// The window's table: five columns.
inline constexpr size_t ColumnCount = 5;

struct Row {
    RomCode rom{};
    std::string name;
    std::u16string cells[ColumnCount];
    int32_t colours[ColumnCount];  // ui::Rgb values, or the default colour
    bool hasReading = false;       // a sound reading was taken
    int64_t readingMs = 0;         // of the last sound reading
    float celsius = 0;             // of the last sound reading
    std::string state;             // of the last reading: ok, crc, ... ("" before one)
    int32_t unheardPasses = 0;
    bool lost = false;
    DateValue lostSince = InvalidDate;
};

// A snapshot for the JSON texts.
struct ModelView {
    std::u16string port;
    std::u16string statusLine;
    bool portThere = true;
    int32_t intervalSeconds = 0;
    Limits limits;
    std::vector<Row> rows;
    uint64_t version = 0;
};

// A new sound reading, for the live chart.
struct NewPoint {
    RomCode rom{};
    int64_t instantMs = 0;
    float celsius = 0;
};

class WebModel {
  public:
    WebModel(std::u16string port, int32_t intervalSeconds, Limits limits, int64_t nowMs);

    // A pass over the bus; its sound readings also go to the history.
    void takePass(const PassInput& pass);
    // The port is gone (`atStart`: it was not there when the logger started); every row is
    // marked failed with the reason, as the window does, until the next pass.
    void portLost(bool atStart);
    // Earlier readings (per sensor, oldest first), before the readings of this run.
    void loadHistory(const std::map<RomCode, std::vector<LoadedReading>>& readings);

    ModelView view() const;
    // The sound readings of the last pass.
    std::vector<NewPoint> lastPoints() const;
    const ReadingHistory& history() const { return history_; }
    uint64_t version() const;

    // Called after every change, on the feeding thread; it must return at once.
    void setNotify(std::function<void()> notify);

  private:
    void changed();
    Row& rowFor(const PassDevice& device, std::vector<Row>& rows) const;
    void showReading(Row& row, const PassDevice& device, int64_t instantMs, DateValue date,
                     int& errors, int& outside) const;

    mutable std::mutex mutex_;
    std::u16string port_;
    int32_t intervalSeconds_;
    Limits limits_;
    std::vector<Row> rows_;
    std::u16string statusLine_;
    bool portThere_ = true;
    std::vector<NewPoint> lastPoints_;
    uint64_t version_ = 0;
    std::function<void()> notify_;
    ReadingHistory history_;
};

}  // namespace kv::web
