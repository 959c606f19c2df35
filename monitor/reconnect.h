// Getting the chosen port back without the user: a port whose device has gone (an adapter
// pulled out) or that was not there when it was to be opened (unplugged at start-up) is
// tried again about once a second while it is still the chosen port, following the
// adapter's stable identity when it comes back under another name. Worker thread only.
#pragma once
#include <cstdint>
#include <string>

#include "monitor/sensor_list.h"

namespace kv {

inline constexpr int32_t ReconnectAfterIdle = 10;  // idle iterations between two attempts

class PortReconnect {
  public:
    // After the worker opened the chosen port on request (isOpen), or could not.
    void opened(bool isOpen);
    // After a failed bus transaction: true when the device of the current port has gone.
    // The port is then closed and the attempts to open it again begin.
    bool deviceGone();
    // What the status line and the rows say once the device has gone.
    std::u16string goneText() const;
    bool waiting() const { return waiting_; }
    // Once per idle iteration while waiting. Every ReconnectAfterIdle calls, unless the user
    // has asked for a port meanwhile, opens the chosen port again and searches it; true
    // when it did (the list then holds what the search found).
    bool retry(SensorList& list);

  private:
    // After a failed attempt: the port is not there, or another program holds it.
    void showWhyNotOpen(std::u16string_view name);
    // The name to open now: where the adapter's identity leads, else the chosen name;
    // empty when that name now belongs to another adapter.
    std::u16string target() const;

    std::u16string name_;
    std::u16string identity_;
    std::u16string absentText_;  // what the status line says while the port is not there
    std::u16string shownText_;   // what the last failed attempt put there
    bool waiting_ = false;
    int32_t idle_ = 0;
};

}  // namespace kv
