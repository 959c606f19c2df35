// Getting a port back without anybody's help: a port whose device has gone (an adapter
// pulled out, a terminal hung up) or that was not there when it was to be opened is opened
// again about once a second, following the adapter's stable identity when it comes back
// under another name, and never taking a name that now belongs to another adapter. The
// window's worker and the headless probe both recover their ports through this one policy;
// what they show while they wait is theirs.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace kv {

inline constexpr int64_t PortRecoveryIntervalMs = 1'000;

enum class RecoveryAttempt : int32_t {
    NotDue,  // not waiting, or the last attempt is less than an interval ago
    Opened,  // the port is open again, under name()
    Absent,  // no such port now, or its name belongs to another adapter now
    Busy,    // the port is there but could not be opened: another program may hold it
};

class PortRecovery {
  public:
    // The port `name` was opened on request (isOpen), or could not be; with an empty name
    // nothing is awaited. Opening the same name again keeps what is known of its adapter.
    void opened(std::u16string_view name, bool isOpen);
    // After a failed transaction on `port`: true when its device has gone. The port is then
    // closed (its lines cannot be driven any more, and the name is freed for the next open)
    // and the attempts begin.
    bool deviceGone(int32_t port);
    bool waiting() const { return waiting_; }

    // While waiting, once an interval has passed since the loss or the last attempt: opens
    // the port where the adapter's identity leads, else under its name, as `port` (as
    // OneWireOpen takes it). `openedId` receives OneWireOpen's identifier.
    RecoveryAttempt attempt(int32_t port, int32_t* openedId = nullptr);

    // The port's name: the one last opened, or awaited.
    const std::u16string& name() const { return name_; }
    // The name the last attempt tried; empty when the name now belongs to another adapter.
    const std::u16string& tried() const { return tried_; }

  private:
    std::u16string target() const;
    void startWaiting(bool wait);

    std::u16string name_;
    std::u16string identity_;
    std::u16string tried_;
    bool waiting_ = false;
    int64_t nextAttemptAt_ = 0;
};

}  // namespace kv
