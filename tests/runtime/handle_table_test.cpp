#include "runtime/handle_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <thread>
#include <vector>

namespace kv {
namespace {

using Table = HandleTable<int>;

std::shared_ptr<int> Value(int v) {
    return std::make_shared<int>(v);
}

TEST(HandleTable, CallersNumbersAreRefusedWhenTakenAndReplaceGivesBackThePrevious) {
    Table table(1000, 2000, true);
    EXPECT_TRUE(table.Insert(5, Value(1)));
    EXPECT_FALSE(table.Insert(5, Value(2)));
    EXPECT_EQ(*table.Find(5), 1);
    EXPECT_EQ(*table.Replace(5, Value(3)), 1);
    EXPECT_EQ(table.Replace(6, Value(4)), nullptr);
    EXPECT_EQ(*table.Find(5), 3);
    EXPECT_EQ(table.Find(7), nullptr);
    EXPECT_EQ(*table.FindIf([](int v) { return v > 3; }), 4);
    EXPECT_EQ(table.FindIf([](int v) { return v > 4; }), nullptr);
}

TEST(HandleTable, AssignedNumbersWrapAroundAndSkipThoseStillInUse) {
    Table table(10, 12, true);
    EXPECT_EQ(table.Add(Value(0)), 10);
    EXPECT_EQ(table.Add(Value(0)), 11);
    EXPECT_NE(table.Take(10), nullptr);
    EXPECT_EQ(table.Add(Value(0)), 12);
    EXPECT_EQ(table.Add(Value(0)), 10);       // wrapped; 11 is still in use
    EXPECT_EQ(table.Add(Value(0)), 0);        // all three in use
    EXPECT_TRUE(table.Insert(13, Value(0)));  // outside the range the table assigns
}

TEST(HandleTable, WithoutReuseEveryNumberIsGivenOnceEvenAfterItsEntryWent) {
    Table table(1, 3, false);
    EXPECT_EQ(table.Add(Value(0)), 1);
    table.Take(1);
    EXPECT_EQ(table.Add(Value(0)), 2);
    EXPECT_EQ(table.Add(Value(0)), 3);
    table.TakeAll();
    EXPECT_EQ(table.Add(Value(0)), 0);
}

TEST(HandleTable, PruningHappensBeforeTheNumberIsAssigned) {
    Table table(1, 100, true);
    table.Add(Value(-1));
    table.Add(Value(2));
    const int32_t number = table.AddAfterPruning(Value(3), [](int& v) { return v < 0; });
    EXPECT_EQ(number, 3);
    EXPECT_EQ(table.Find(1), nullptr);
    EXPECT_NE(table.Find(2), nullptr);
}

TEST(HandleTable, AnObjectTakenOutStaysAliveForWhoeverStillUsesIt) {
    Table table(1, 100, true);
    const int32_t number = table.Add(Value(42));
    std::shared_ptr<int> inUse = table.Find(number);
    EXPECT_EQ(*table.Take(number), 42);
    EXPECT_EQ(table.Take(number), nullptr);
    EXPECT_EQ(*inUse, 42);
    EXPECT_EQ(inUse.use_count(), 1);
}

TEST(HandleTable, ConcurrentAddsGetDistinctNumbersAndTakeAllReturnsThemInOrder) {
    Table table(1, 1 << 20, true);
    std::vector<std::vector<int32_t>> got(4);
    std::vector<std::thread> threads;
    for (auto& numbers : got) {
        threads.emplace_back([&] {
            for (int i = 0; i < 500; ++i) numbers.push_back(table.Add(Value(i)));
        });
    }
    for (auto& t : threads) t.join();
    std::set<int32_t> distinct;
    for (auto& numbers : got) distinct.insert(numbers.begin(), numbers.end());
    EXPECT_EQ(distinct.size(), 2000u);
    EXPECT_FALSE(distinct.contains(0));
    EXPECT_EQ(table.TakeAll().size(), 2000u);
    EXPECT_TRUE(table.TakeAll().empty());
}

}  // namespace
}  // namespace kv
