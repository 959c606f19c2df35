#pragma once
#include <cstdint>
#include <string>

namespace kv::soak {

struct SoakOptions {
    double seconds = 600;  // split evenly: separate polling first, then common conversion
    double noise = 1e-3;
    uint64_t seed = 1;
    int interval = 1;
    double replugSeconds = 0;  // a random sensor unplugged or plugged back this often; 0 never
    bool simulated = false;    // simulated clock: the same passes without the real waits
    std::string folder;        // where the log goes; a fresh temporary folder when empty
};

// Returns 0 when every check held.
int RunSoak(const SoakOptions& options);

// Bus time of a common-conversion pass for 1, 10 and 50 thermometers; prints a table.
// pty: real time through a pseudo-terminal instead of the simulated clock.
int RunBusCost(int passes, bool pty);

// What searching while monitoring costs the readings, for 10 and 20 thermometers and 10 on a
// noisy line (tools/soak/search_cost.cpp); prints a table.
int RunSearchCost(double seconds, int64_t latencyMs, bool pty);

}  // namespace kv::soak
