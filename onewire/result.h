// Result codes of the 1-Wire module, kept per thread beside each operation's return value.
#pragma once
#include <cstdint>
#include <string>

#include "onewire/search_state.h"

namespace kv {

enum OneWireResult : int32_t {
    Ok = 0,
    NoOpenPort = 1,
    NoResponse = 2,
    ExchangeError = 3,
    BaudChangeError = 4,
    SearchError = 5,
    BadArgument = 6,
    NoData = 7,
};

// The calling thread's record: its last result and the ROM-search state that
// OneWireSearchReset and OneWireSearchNext work on.
struct OneWireThreadState : SearchState {
    int32_t lastResult = Ok;
};

OneWireThreadState& OneWireState();  // created zero-filled on the thread's first use
void OneWireSetResult(int32_t code);

int32_t OneWireLastResult();
std::u16string OneWireResultText(int32_t code);  // empty for unknown codes
const char* OneWireResultName(int32_t code);     // English enumerator name, "" for unknown
std::string OneWireResultLabel(int32_t code);    // the name, or "error N" for an unknown code

}  // namespace kv
