#include "monitor/control_block.h"

namespace kv {

ControlBlockFields ControlBlock;

void ControlBlockReset() {
    ControlBlock.StopRequested = 0;
    ControlBlock.ThermoControl = 0;
    ControlBlock.ConvertOnly = 0;
    ControlBlock.Interval = 0;
    ControlBlock.ThermoMin = 0;
    ControlBlock.ThermoMax = 0;
    ControlBlock.Log = 0;
    ControlBlock.ReopenPort = 1;
}

}  // namespace kv
