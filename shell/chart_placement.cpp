#include "shell/chart_placement.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <tuple>

namespace kv {
namespace {

enum class Side { Right, Left, Below, Above };
constexpr std::array<Side, 4> Sides = {Side::Right, Side::Left, Side::Below, Side::Above};

int64_t Overlap(const ui::ScreenRect& a, const ui::ScreenRect& b) {
    const int64_t width = std::max(0, std::min(a.Right(), b.Right()) - std::max(a.x, b.x));
    const int64_t height = std::max(0, std::min(a.Bottom(), b.Bottom()) - std::max(a.y, b.y));
    return width * height;
}

// The wanted length cut to the room, no shorter than the least, no longer than the screen.
int Fitted(int wanted, int least, int room, int screen) {
    return std::max(0, std::min(std::clamp(wanted, least, std::max(least, room)), screen));
}

// Along the side, the chart is level with the main window (`along` 0), or at the start (1) or
// the end (2) of the work area, where it may cover less of the main window.
constexpr int AlongWays = 3;

ui::ScreenRect Candidate(Side side, int along, const ChartPlacementAsked& a) {
    const ui::ScreenRect& main = a.main;
    const ui::ScreenRect& work = a.work;
    ui::ScreenRect rect;
    const bool beside = side == Side::Right || side == Side::Left;
    if (beside) {
        const int room = side == Side::Right ? work.Right() - main.Right() : main.x - work.x;
        rect.width = Fitted(a.width, a.leastWidth, room, work.width);
        rect.height = Fitted(a.height, a.leastHeight, a.height, work.height);
        rect.x = side == Side::Right ? main.Right() : main.x - rect.width;
        rect.y = along == 0 ? main.y : along == 1 ? work.y : work.Bottom() - rect.height;
    } else {
        const int room = side == Side::Below ? work.Bottom() - main.Bottom() : main.y - work.y;
        rect.width = Fitted(a.width, a.leastWidth, a.width, work.width);
        rect.height = Fitted(a.height, a.leastHeight, room, work.height);
        rect.x = along == 0 ? main.x : along == 1 ? work.x : work.Right() - rect.width;
        rect.y = side == Side::Below ? main.Bottom() : main.y - rect.height;
    }
    rect.x = std::clamp(rect.x, work.x, std::max(work.x, work.Right() - rect.width));
    rect.y = std::clamp(rect.y, work.y, std::max(work.y, work.Bottom() - rect.height));
    return rect;
}

}  // namespace

ui::ScreenRect PlaceChartBesideMain(const ChartPlacementAsked& asked) {
    const ui::ScreenRect& main = asked.main;
    const int keepTop = std::clamp(asked.keepTop, main.y, main.Bottom());
    const ui::ScreenRect kept{main.x, keepTop, main.width, main.Bottom() - keepTop};
    ui::ScreenRect best;
    std::tuple<int64_t, int64_t, int64_t> bestCost{INT64_MAX, INT64_MAX, INT64_MAX};
    for (Side side : Sides)
        for (int along = 0; along < AlongWays; ++along) {
            const ui::ScreenRect rect = Candidate(side, along, asked);
            const std::tuple<int64_t, int64_t, int64_t> cost{
                Overlap(rect, kept), Overlap(rect, main), -int64_t(rect.width) * rect.height};
            if (cost < bestCost) {
                bestCost = cost;
                best = rect;
            }
        }
    return best;
}

}  // namespace kv
