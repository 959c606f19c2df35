// kalorivox-probe --inspect PORT: every thermometer on the bus inspected in turn, its
// evidence and the conclusion on its origin written out as soon as it is done.
#pragma once
#include <cstdint>
#include <cstdio>

#include "probe/inspect_report.h"
#include "probe/options.h"
#include "probe/probe_bus.h"

namespace kv::probe {

// One thermometer inspected and judged; the waits end early on a stop signal.
InspectedSensor InspectSensor(const RomCode& rom, int32_t port);

// The thermometers of the bus, opened and searched. The exit status: 0 when the search was
// whole and every thermometer was inspected and left as it was found, 1 otherwise.
int RunInspection(const Options& options, const ProbeBus& bus, std::FILE* out);

}  // namespace kv::probe
