// The probe's run over its port: passes at the interval over the probe's bus
// (probe/probe_bus.h), each written to the outputs. When it repeats (--every) it follows the
// window's rules: a port whose device has gone is opened again about once a second, searched
// and read at once when it is back, and the bus is searched again between passes on the
// window's schedule, newcomers read from the next pass on.
#pragma once

#include "probe/options.h"
#include "probe/outputs.h"

namespace kv::probe {

// Starts the outputs once the port is open (or, when the run repeats, known to be away) and
// runs. The exit status: 0 when the last pass searched and read the bus or a stop signal ended
// the run, 1 when the port, the bus or an output failed.
int RunProbe(const Options& options, ProbeOutputs& outputs);

}  // namespace kv::probe
