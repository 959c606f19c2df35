// A port's life on one thread, for the window's worker and the headless probe alike.
//
// The session owns what both front ends do with a bus: opening the port, noticing that its
// adapter has gone (asked after a pass that failed at its start, and when a bus that stopped
// answering does not answer a reset either) and opening it again through the adapter's
// stable identity (session/port_recovery.h); the searches, asked for (at opening, when the bus
// answers again) and made between passes on the schedule (session/search_schedule.h); the one
// device list and its one record type (session/sensor_list.h) and the rule by which a search
// changes it (session/list_update.h); the power query, made when the list changes and never while a
// table is built; the passes of readings, common conversion or one device per step in
// separate polling, with the readings' verdicts, the records' flags and the sensors that
// stop answering; and the statistics (session/session_statistics.h).
//
// It decides nothing about what is shown. Whatever happens is told to its owner through
// SessionEvents, one call per event, on the session's thread: the port opened or not, lost,
// still away, back; a search asked for begins and ends; a search between passes changed the
// list or found a sensor gone, or holds the readings back; a pass started or failed at its
// start, the readings stopped; one reading judged. The window draws its table cells, colours,
// status line and log from these; the probe its records and exports and its messages.
//
// The owner drives: it calls open(), then in its own loop measure() (or pollNext()),
// startFailed() after a pass that failed at its start, idle() while no device is measured,
// passEnded() and searchBetweenPasses() between passes, recover() while waiting for the port.
// Where the front ends differ, the owner says how in SessionPolicy:
// - the port number the bus calls use (the window's one current port, or a port of the
//   session's own);
// - how long a conversion is waited for: the full time whatever the parts, or what the
//   slowest thermometer needs at the resolution the session gave it;
// - how many idle calls pass before the bus is tried again (a reset, and a search when
//   anyone answers);
// - whether a stop ends a pass at the next device (the window, whose stop must be prompt) or
//   lets the pass under way finish (the probe writes its last pass whole);
// - its requests, looked at after every sleep of a wait, between devices and before every
//   step of a search: a stop, and a port change. Either cuts a wait or a search short; a
//   port change ends the conversion wait with the readings following at once, and a run of
//   readings once it has waited RequestGraceMs.
// Every wait is cut into sleeps of LoopSleepMs (DelayMs), so a request is seen within one.
#pragma once
#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <string_view>

#include "onewire/enumerate.h"
#include "onewire/measuring.h"
#include "serial/serial_port.h"
#include "session/port_recovery.h"
#include "session/search_schedule.h"
#include "session/sensor_list.h"
#include "session/session_statistics.h"

namespace kv {

inline constexpr int32_t LoopSleepMs = 100;  // every wait is cut into sleeps of this length
// A port change seen while a long run of readings goes on waits at most this long.
inline constexpr int32_t RequestGraceMs = 500;
// No limit on how long a search between passes may hold the readings back.
inline constexpr int64_t NoHoldLimit = std::numeric_limits<int64_t>::max();

enum class ConversionWait {
    Full,          // FullConversionWaitMs, whatever the parts
    ByResolution,  // what the slowest thermometer converted needs at its Resolution
};

struct SessionPolicy {
    int32_t port = PortDynamic;  // or PortCurrent, the window's one current port
    ConversionWait conversionWait = ConversionWait::Full;
    int32_t idleBeforeBusAttempt = 1;
    bool stopEndsPass = true;
    std::function<bool()> stopAsked;  // either may be empty: never
    std::function<bool()> changeAsked;
};

class SessionEvents {
  public:
    virtual ~SessionEvents() = default;

    // open(): the port opened, or not (the thread's last result says why).
    virtual void portOpened(std::u16string_view /*name*/) {}
    virtual void portNotOpened(std::u16string_view /*name*/) {}
    // Its device has gone: the port is closed and the attempts to open it again begin.
    virtual void portLost(std::u16string_view /*name*/) {}
    // An attempt failed: no such port now (Absent), or it is there but could not be opened
    // under `tried` (Busy).
    virtual void portStillAway(RecoveryAttempt /*attempt*/, std::u16string_view /*tried*/) {}
    // Open again under `name` (where the adapter's identity led) after `awaited` went; the
    // search follows.
    virtual void portBack(std::u16string_view /*awaited*/, std::u16string_view /*name*/) {}

    // A search asked for begins; it ended, and the list holds what it found (the power of
    // each device asked, unless a request cut that short).
    virtual void searching() {}
    virtual void searched(const Enumeration& /*found*/) {}
    // A search between passes changed the list: `added` devices came, others may have gone.
    virtual void listChanged(int32_t /*added*/) {}
    // A search between passes no longer found this thermometer, which had answered: it stays
    // listed, marked NotAnswering, until it answers again (then its next reading is judged).
    virtual void sensorLost(int32_t /*index*/) {}
    // The next step of a search between passes is reckoned to hold the readings back for
    // longer than the owner allows.
    virtual void searchHolding() {}

    // A conversion went out: the counts of a new pass begin.
    virtual void passStarted() {}
    // The conversion that starts a pass failed with this result; the port is still there.
    virtual void passFailed(int32_t /*result*/) {}
    // Readings stopped: the first idle call since the last pass started.
    virtual void readingsStopped() {}
    // A thermometer was read; its record (list().at(index)) holds the flags the reading gave
    // it. An Unfinished reading changed nothing.
    virtual void readingJudged(int32_t /*index*/, const Reading& /*reading*/) {}
    // setResolution(): the thermometer did not take it.
    virtual void resolutionRefused(int32_t /*index*/, int32_t /*result*/) {}
};

enum class PassStep {
    Ended,        // the end of the list, or the one device of separate polling, was reached
    CutShort,     // a request ended it early
    StartFailed,  // the conversion that starts it could not be sent
};

class BusSession {
  public:
    BusSession(SessionEvents& events, SessionPolicy policy, SessionStatistics& statistics);
    BusSession(const BusSession&) = delete;
    BusSession& operator=(const BusSession&) = delete;

    // --- the port ---
    // Closes the port, empties the list and opens `name`; an open port (or, with an empty
    // name, a port that was open and closed cleanly) is searched. Whether the port is open.
    bool open(std::u16string_view name);
    // While waiting for the port, about once a second: tries to open it again and, when it
    // is back, searches it. Whether it is back. A port change asked for makes no attempt.
    bool recover();
    bool waitingForPort() const { return recovery_.waiting(); }
    void close();
    // The number the bus calls take, and the name of the port opened or awaited.
    int32_t port() const { return busPort_; }
    const std::u16string& portName() const { return recovery_.name(); }

    // --- the list ---
    // Searches the open port as asked: the list afterwards holds what the search found (a
    // complete search keeps the thermometers that no longer answer, marked so).
    void search();
    // Gives every thermometer that takes one and does not have it yet the resolution (and
    // writes it into its EEPROM with `save`).
    void setResolution(int bits, bool save);
    const SensorList& list() const { return list_; }
    // The devices measured: the list's, or 0 after the bus stopped answering.
    int32_t deviceCount() const { return deviceCount_; }
    // The last search ended cleanly: the list is not known to miss devices.
    bool listWhole() const { return listWhole_; }
    // Faulty records met in the pass under way, and failed starts since it began.
    int32_t passFaults() const { return passFaults_; }
    // The result of the conversion that failed at the last StartFailed.
    int32_t startResult() const { return startResult_; }

    // --- measuring ---
    // Common conversion: the devices from the cursor to the end of the list. A pass that has
    // not started yet starts with one Convert T for all; one interrupted by a failure at its
    // start goes on with the rest of the list without one.
    PassStep measure();
    // The same, always from the first device with a conversion.
    PassStep measureFromStart();
    // Separate polling: the next device alone is converted, waited for and read; devices of
    // other families hand over to the next one within the call.
    PassStep pollNext();
    // After StartFailed: the port may have gone; otherwise the readings stop and idle() runs.
    void startFailed();
    // Nothing is measured (no devices, or after a failed start): readingsStopped() once; a
    // lost port is tried again; every policy.idleBeforeBusAttempt-th call a bus reset, and a
    // search when anyone answers.
    void idle();
    // A pass end: in common conversion the pass's readings may ask for a search between
    // passes (in separate polling a round over the list does).
    void passEnded(bool commonConversion);
    // Takes the steps of a search between passes that are due, for about spanMs (the first
    // due step whatever its length). Returns the milliseconds searched.
    int64_t searchBetweenPasses(int64_t spanMs, int64_t holdsAfterMs = NoHoldLimit);
    // Sleeps of LoopSleepMs for the given time, cut short by either request; false then. The
    // waits within a reading (a power-on value confirmed, a conversion made again) are these.
    bool wait(int32_t milliseconds);

  private:
    enum class Start { Waited, Stopped, Failed };

    bool stopAsked() const;
    bool changeAsked() const;
    bool keepGoing() const;
    bool yieldToRequest();
    void usePort(int32_t id);
    int32_t resolvedPort() const;
    void setDeviceCount(int32_t count);
    void restartCounts();
    void lost();
    void askedSearch();
    void askPowers();
    void walkEnded(const Enumeration& found);
    int32_t conversionWaitMs(const uint8_t* rom) const;
    Start startPass(const uint8_t* rom);
    void measureCurrent();
    void count(const Reading& reading);
    void judge(int32_t index, const Reading& reading);

    SessionEvents& events_;
    SessionPolicy policy_;
    SessionStatistics& statistics_;
    int32_t busPort_;
    SensorList list_;
    PortRecovery recovery_;
    ThermometerReader reader_;
    BackgroundSearch background_;
    int32_t deviceCount_ = 0;
    bool listWhole_ = true;  // the last search ended cleanly
    // A conversion has been made for the pass under way (or the pass was interrupted after
    // the readings stopped): the devices up to the end of the list are read without one.
    bool passStarted_ = false;
    bool readingsStopped_ = false;
    int32_t passFaults_ = 0;
    int32_t idleCalls_ = 0;  // since the last attempt to find the bus again
    int32_t startResult_ = 0;
    int64_t changeSeenAt_ = -1;
};

}  // namespace kv
