// Where the chart window goes beside the main window, on screens of every size.
#include "shell/chart_placement.h"

#include <gtest/gtest.h>

namespace kv {
namespace {

using ui::ScreenRect;

// The main window's frame as the program makes it, centred on the work area; its table begins
// 80 pixels below its top.
ChartPlacementAsked Asked(ScreenRect work) {
    ChartPlacementAsked asked;
    asked.work = work;
    asked.main = {work.x + (work.width - 654) / 2, work.y + (work.height - 458) / 2, 654, 458};
    asked.keepTop = asked.main.y + 80;
    asked.width = 828;
    asked.height = 508;
    asked.leastWidth = 348;
    asked.leastHeight = 328;
    return asked;
}

int64_t Covered(const ScreenRect& a, const ScreenRect& b) {
    const int64_t w = std::max(0, std::min(a.Right(), b.Right()) - std::max(a.x, b.x));
    const int64_t h = std::max(0, std::min(a.Bottom(), b.Bottom()) - std::max(a.y, b.y));
    return w * h;
}

bool Inside(const ScreenRect& inner, const ScreenRect& outer) {
    return inner.x >= outer.x && inner.y >= outer.y && inner.Right() <= outer.Right() &&
           inner.Bottom() <= outer.Bottom();
}

TEST(ChartPlacement, BesideTheMainWindowWhereTheScreenHasRoom) {
    // Wide: to the right, whole, level with the main window's top.
    ChartPlacementAsked asked = Asked({0, 0, 2560, 1400});
    EXPECT_EQ((ScreenRect{asked.main.Right(), asked.main.y, 828, 508}),
              PlaceChartBesideMain(asked));
    // The main window moved to the right edge: to its left.
    asked.main.x = 2560 - 654;
    EXPECT_EQ((ScreenRect{2560 - 654 - 828, asked.main.y, 828, 508}), PlaceChartBesideMain(asked));
    // 1920 x 1040: narrowed to the room on the right, not below its least width.
    asked = Asked({0, 0, 1920, 1040});
    const ScreenRect right = PlaceChartBesideMain(asked);
    EXPECT_EQ((ScreenRect{asked.main.Right(), asked.main.y, 1920 - asked.main.Right(), 508}),
              right);
    EXPECT_EQ(0, Covered(right, asked.main));
    // A work area that does not start at 0 (a task bar on the left) and a main window near
    // the bottom: the chart rises to stay on the screen.
    asked = Asked({60, 0, 1860, 1040});
    asked.main.y = 1040 - 470;
    asked.keepTop = asked.main.y + 80;
    const ScreenRect risen = PlaceChartBesideMain(asked);
    EXPECT_TRUE(Inside(risen, asked.work));
    EXPECT_EQ(0, Covered(risen, asked.main));
    // Tall and narrow: below.
    asked = Asked({0, 0, 800, 1400});
    asked.main.x = 0;
    asked.main.y = 0;
    asked.keepTop = 80;
    EXPECT_EQ((ScreenRect{0, 458, 800, 508}), PlaceChartBesideMain(asked));
}

TEST(ChartPlacement, WithoutRoomItCoversTheLeastOfTheTableAndStatusLine) {
    for (ScreenRect work :
         {ScreenRect{0, 0, 1024, 728}, ScreenRect{0, 0, 1366, 728}, ScreenRect{0, 0, 1280, 984}}) {
        const ChartPlacementAsked asked = Asked(work);
        const ScreenRect kept{asked.main.x, asked.keepTop, asked.main.width,
                              asked.main.Bottom() - asked.keepTop};
        const ScreenRect at = PlaceChartBesideMain(asked);
        EXPECT_TRUE(Inside(at, work)) << work.width;
        EXPECT_GE(at.width, asked.leastWidth);
        EXPECT_GE(at.height, asked.leastHeight);
        // No place of that size covers less of the table: try every corner and edge.
        const int64_t covered = Covered(at, kept);
        for (int x = work.x; x + at.width <= work.Right(); x += 8)
            for (int y = work.y; y + at.height <= work.Bottom(); y += 8)
                EXPECT_LE(covered, Covered({x, y, at.width, at.height}, kept) +
                                       int64_t(8) * (at.width + at.height))
                    << work.width << " at " << x << "," << y;
    }
    // 1366 x 728: the room beside (356) holds the least width, so nothing is covered.
    const ChartPlacementAsked asked = Asked({0, 0, 1366, 728});
    EXPECT_EQ(0, Covered(PlaceChartBesideMain(asked), asked.main));
}

}  // namespace
}  // namespace kv
