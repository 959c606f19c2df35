#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "onewire/bus.h"
#include "onewire/crc8.h"
#include "onewire/port.h"
#include "onewire/result.h"
#include "onewire/search.h"
#include "runtime/threads.h"

namespace kv {
namespace {

TEST(OneWireResults, MessagesAndNames) {
    const char16_t* expected[] = {
        u"Нет ошибок",
        u"Нет открытого COM порта",
        u"Нет ответа от '1-Wire' устройств",
        u"Ошибка обмена данными",
        u"Ошибка изменения скорости порта",
        u"Ошибка при поиске '1-Wire' устройств",
        u"Ошибка в аргументе функции",
        u"Нет данных",
    };
    for (int code = 0; code < 8; ++code) EXPECT_EQ(OneWireResultText(code), expected[code]) << code;
    EXPECT_EQ(OneWireResultText(8), u"");
    EXPECT_EQ(OneWireResultText(-1), u"");
    EXPECT_STREQ(OneWireResultName(ExchangeError), "ExchangeError");
    EXPECT_STREQ(OneWireResultName(NoData), "NoData");
    EXPECT_STREQ(OneWireResultName(99), "");
}

TEST(OneWireResults, PerThreadRecord) {
    std::thread([] {
        EXPECT_EQ(OneWireLastResult(), Ok) << "a new thread starts at Ok";
        EXPECT_EQ(OneWireState().lastDiscrepancy, 0);
        EXPECT_EQ(OneWireState().lastDeviceFlag, 0);
    }).join();

    OneWireResolvePort(PortCurrent);  // nothing open
    ASSERT_EQ(OneWireLastResult(), NoOpenPort);
    std::thread([] {
        EXPECT_EQ(OneWireLastResult(), Ok) << "another thread's failure is not visible";
        OneWireCrc8(nullptr, 1);
        EXPECT_EQ(OneWireLastResult(), BadArgument);
    }).join();
    EXPECT_EQ(OneWireLastResult(), NoOpenPort);
}

int FailAndSearch(intptr_t) {
    OneWireResolvePort(PortCurrent);  // nothing open: NoOpenPort
    OneWireSearchReset();
    return OneWireLastResult() == Ok ? 0 : 1;
}

// Threads that leave their 1-Wire record behind end cleanly, many times over, and none of
// their codes reaches the thread that started them.
TEST(OneWireResults, ManyThreadsEndAfterUsingTheirRecords) {
    ThreadTableInit();
    OneWireCrc8(nullptr, 1);
    ASSERT_EQ(OneWireLastResult(), BadArgument);
    std::vector<int> numbers;
    for (int i = 0; i < 64; ++i) {
        numbers.push_back(ThreadStart(FailAndSearch, 0));
        ASSERT_GT(numbers.back(), 0);
    }
    for (int number : numbers) EXPECT_EQ(ThreadWait(number, ThreadWaitInfinite), 1);
    EXPECT_EQ(OneWireLastResult(), BadArgument);
}

TEST(OneWireResults, OptionCallsLeaveTheCodeAlone) {
    OneWireResolvePort(PortCurrent);
    ASSERT_EQ(OneWireLastResult(), NoOpenPort);
    EXPECT_EQ(OneWireSetOptions(OptLowCpu | OptInvertPower), 0);
    EXPECT_EQ(OneWireGetOptions(), OptLowCpu | OptInvertPower);
    EXPECT_EQ(OneWireLastResult(), NoOpenPort);
    OneWireSetOptions(0);
    EXPECT_EQ(OneWireLastResult(), NoOpenPort);
}

}  // namespace
}  // namespace kv
