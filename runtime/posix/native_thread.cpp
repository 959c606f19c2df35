#include "runtime/native_thread.h"

namespace kv::native {

void AbandonThread(std::thread& thread) {
    if (thread.joinable()) thread.detach();
}

}  // namespace kv::native
