// Whether another holder of a terminal asked for exclusive use of it (TIOCEXCL). Such a
// terminal refuses every further open except the superuser's, which must ask.
#pragma once
#include <sys/ioctl.h>

namespace kv {

inline bool SerialHeldExclusively(int fd) {
#ifdef TIOCGEXCL
    int exclusive = 0;
    return ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive != 0;
#else
    (void)fd;
    return false;
#endif
}

}  // namespace kv
