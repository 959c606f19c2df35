#include "runtime/local_zone.h"

#include <gtest/gtest.h>

#include "tests/runtime/summer_time_zone.h"

namespace kv {
namespace {

using test::Utc;

TEST(LocalZone, EveryLocalTimeHasItsInstantsAcrossBothChangesOfSummerTime) {
    const LocalZone zone = test::SummerTimeZone();
    int64_t first = 0, second = 0;
    // Winter and summer: one instant each, and back again.
    ASSERT_EQ(1, zone.Instants(Utc(2026, 1, 10, 12, 0), first, second));
    EXPECT_EQ(Utc(2026, 1, 10, 11, 0), first);
    EXPECT_EQ(first, second);
    EXPECT_EQ(Utc(2026, 1, 10, 12, 0), zone.LocalSeconds(first));
    ASSERT_EQ(1, zone.Instants(Utc(2026, 7, 1, 12, 0), first, second));
    EXPECT_EQ(Utc(2026, 7, 1, 10, 0), first);
    EXPECT_EQ(Utc(2026, 7, 1, 12, 0), zone.LocalSeconds(first));

    // Spring: 01:59:59 is there, 02:00 to 02:59:59 are not, 03:00 follows one second later.
    ASSERT_EQ(1, zone.Instants(Utc(2026, 3, 29, 1, 59, 59), first, second));
    EXPECT_EQ(Utc(2026, 3, 29, 0, 59, 59), first);
    EXPECT_EQ(0, zone.Instants(Utc(2026, 3, 29, 2, 0), first, second));
    EXPECT_EQ(0, zone.Instants(Utc(2026, 3, 29, 2, 59, 59), first, second));
    ASSERT_EQ(1, zone.Instants(Utc(2026, 3, 29, 3, 0), first, second));
    EXPECT_EQ(Utc(2026, 3, 29, 1, 0), first);

    // Autumn: 02:00 to 02:59:59 come twice, an hour apart; 03:00 once.
    ASSERT_EQ(2, zone.Instants(Utc(2026, 10, 25, 2, 30), first, second));
    EXPECT_EQ(Utc(2026, 10, 25, 0, 30), first);
    EXPECT_EQ(Utc(2026, 10, 25, 1, 30), second);
    EXPECT_EQ(zone.LocalSeconds(first), zone.LocalSeconds(second));
    ASSERT_EQ(1, zone.Instants(Utc(2026, 10, 25, 3, 0), first, second));
    EXPECT_EQ(Utc(2026, 10, 25, 2, 0), first);
    ASSERT_EQ(1, zone.Instants(Utc(2026, 10, 25, 1, 59, 59), first, second));
    EXPECT_EQ(Utc(2026, 10, 25, 23, 59, 59) - 86400, first);
}

TEST(LocalZone, TheSystemZoneAgreesWithItsOwnClock) {
    // Whatever zone the machine is in: every instant's local time leads back to it.
    const LocalZone zone;
    for (int64_t instant = Utc(2026, 1, 1, 0, 0); instant < Utc(2027, 1, 1, 0, 0);
         instant += 86400 * 7 + 3671) {
        int64_t first = 0, second = 0;
        const int count = zone.Instants(zone.LocalSeconds(instant), first, second);
        ASSERT_GE(count, 1) << instant;
        EXPECT_TRUE(first == instant || second == instant) << instant;
    }
}

}  // namespace
}  // namespace kv
