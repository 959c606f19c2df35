// The probe's run over its port: passes at the interval, the search that finds the devices,
// and, when it repeats (--every), a port whose device has gone opened again about once a
// second with the window's policy (onewire/port_recovery.h), searched and read at once when
// it is back.
#pragma once

#include "tools/probe/options.h"
#include "tools/probe/outputs.h"

namespace kv::probe {

// The exit status: 0 when the last pass searched and read the bus or a stop signal ended the
// run, 1 when the port or the bus failed.
int RunProbe(const Options& options, ProbeOutputs& outputs);

}  // namespace kv::probe
