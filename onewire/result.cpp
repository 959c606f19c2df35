#include "onewire/result.h"

#include <array>
#include <string_view>

namespace kv {
namespace {

struct ResultInfo {
    const char* name;
    std::u16string_view message;
};

constexpr std::array<ResultInfo, 8> Results = {{
    {"Ok", u"Нет ошибок"},
    {"NoOpenPort", u"Нет открытого COM порта"},
    {"NoResponse", u"Нет ответа от '1-Wire' устройств"},
    {"ExchangeError", u"Ошибка обмена данными"},
    {"BaudChangeError", u"Ошибка изменения скорости порта"},
    {"SearchError", u"Ошибка при поиске '1-Wire' устройств"},
    {"BadArgument", u"Ошибка в аргументе функции"},
    {"NoData", u"Нет данных"},
}};

bool Known(int32_t code) {
    return code >= 0 && code < static_cast<int32_t>(Results.size());
}

}  // namespace

OneWireThreadState& OneWireState() {
    thread_local OneWireThreadState state;
    return state;
}

void OneWireSetResult(int32_t code) {
    OneWireState().lastResult = code;
}

int32_t OneWireLastResult() {
    return OneWireState().lastResult;
}

std::u16string OneWireResultText(int32_t code) {
    return Known(code) ? std::u16string(Results[code].message) : std::u16string();
}

const char* OneWireResultName(int32_t code) {
    return Known(code) ? Results[code].name : "";
}

std::string OneWireResultLabel(int32_t code) {
    return Known(code) ? Results[code].name : "error " + std::to_string(code);
}

}  // namespace kv
