// Getting the chosen port back without the user, as the window shows it: the port recovery
// of the 1-Wire module (session/port_recovery.h) tries the chosen port about once a second
// while it is still the chosen one; this tells the status line why it is not open yet, and
// makes the chooser and the settings follow an adapter that came back under another name.
// Worker thread only.
#pragma once
#include <cstdint>
#include <string>

#include "session/port_recovery.h"
#include "session/sensor_list.h"

namespace kv {

class PortReconnect {
  public:
    // After the worker opened the chosen port on request (isOpen), or could not.
    void opened(bool isOpen);
    // After a failed bus transaction: true when the device of the current port has gone.
    // The port is then closed and the attempts to open it again begin.
    bool deviceGone();
    // What the status line and the rows say once the device has gone.
    std::u16string goneText() const;
    bool waiting() const { return recovery_.waiting(); }
    // Once per idle iteration while waiting. About once a second, unless the user has asked
    // for a port meanwhile, opens the chosen port again and searches it; true when it did
    // (the list then holds what the search found).
    bool retry(SensorList& list);

  private:
    // After a failed attempt: the port is not there, or another program holds it.
    void showWhyNotOpen(RecoveryAttempt attempt);

    PortRecovery recovery_;
    std::u16string absentText_;  // what the status line says while the port is not there
    std::u16string shownText_;   // what the last failed attempt put there
};

}  // namespace kv
