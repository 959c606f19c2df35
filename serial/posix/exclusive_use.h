// Whether another process holds a terminal for its exclusive use (TIOCEXCL). Such a
// terminal refuses every further open except the superuser's, which must ask.
#pragma once

namespace kv {

// The flag alone does not prove a holder: a pseudo-terminal lives as long as its master
// side is open and keeps the flag of a holder that ended without giving it back (killed,
// crashed). So a set flag counts only while another process still has the terminal open;
// when that cannot be found out, it counts.
bool SerialHeldExclusively(int fd);

}  // namespace kv
