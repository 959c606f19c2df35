#include "session/port_recovery.h"

#include "onewire/bus.h"
#include "runtime/clock.h"
#include "serial/port_presence.h"

namespace kv {

void PortRecovery::startWaiting(bool wait) {
    waiting_ = wait && !name_.empty();
    nextAttemptAt_ = MillisecondClock() + PortRecoveryIntervalMs;
    tried_.clear();
}

void PortRecovery::opened(std::u16string_view name, bool isOpen) {
    if (name != name_) identity_.clear();
    name_ = name;
    if (isOpen) {
        std::u16string identity = SerialStableIdentity(name_);
        if (!identity.empty()) identity_ = std::move(identity);
    }
    startWaiting(!isOpen);
}

bool PortRecovery::deviceGone(int32_t port) {
    if (SerialDeviceGone(port) == 0) return false;
    OneWireClose(port);
    startWaiting(true);
    return true;
}

std::u16string PortRecovery::target() const {
    if (identity_.empty()) return name_;
    std::u16string now = SerialNameOfIdentity(identity_);
    if (!now.empty()) return now;
    // The adapter is away; its old name may serve another one meanwhile.
    const std::u16string other = SerialStableIdentity(name_);
    return other.empty() ? name_ : std::u16string();
}

RecoveryAttempt PortRecovery::attempt(int32_t port, int32_t* openedId) {
    const int64_t now = MillisecondClock();
    if (!waiting_ || now < nextAttemptAt_) return RecoveryAttempt::NotDue;
    nextAttemptAt_ = now + PortRecoveryIntervalMs;
    tried_ = target();
    const int id = tried_.empty() ? 0 : OneWireOpen(tried_, port);
    if (openedId) *openedId = id;
    if (id == 0)
        return !tried_.empty() && SerialPortExists(tried_) != 0 ? RecoveryAttempt::Busy
                                                                : RecoveryAttempt::Absent;
    waiting_ = false;
    name_ = tried_;
    return RecoveryAttempt::Opened;
}

}  // namespace kv
