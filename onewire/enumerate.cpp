#include "onewire/enumerate.h"

#include <utility>

#include "onewire/result.h"
#include "onewire/search_walk.h"

namespace kv {

Enumeration OneWireEnumerate(int32_t port, const EnumerationOptions& options) {
    SearchWalk walk;
    OneWireWalkBegin(walk, {}, options);
    for (;;) {
        if (!walk.repeating && !walk.found.codes.empty() && options.keepGoing &&
            !options.keepGoing()) {
            walk.found.end = EnumerationEnd::Interrupted;
            walk.found.result = OneWireLastResult();
            break;
        }
        if (!OneWireWalkStep(walk, port)) break;
    }
    return std::move(walk.found);
}

}  // namespace kv
