// The drawing surface, one contract for every implementation: the headless toolkit, Qt
// (offscreen) when built with it, Win32 (under Wine) when built for Windows.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>
#include <vector>

#include "runtime/utf.h"
#include "tests/ui/ui_driver.h"
#include "ui/toolkit.h"

namespace kv::ui::test {
namespace {

constexpr int Chart = 1;
constexpr int Canvas = 10;
constexpr int Fixed = 2;  // a window of fixed size
constexpr int CanvasTop = 30;
constexpr int Marker = 778;  // an event kind the program ignores, posted to end a drain

constexpr int32_t White = Rgb(255, 255, 255);
constexpr int32_t Red = Rgb(255, 0, 0);
constexpr int32_t Blue = Rgb(0, 0, 255);
constexpr int32_t Green = Rgb(0, 160, 0);
constexpr int32_t Black = Rgb(0, 0, 0);
const std::u16string Sample = U16("Проба 12");

struct Painted {
    int calls = 0;
    int width = 0, height = 0;
    int sampleWidth = 0, letterWidth = 0, textHeight = 0;
};
Painted painted;

void DrawSample(int, int, int width, int height) {
    ++painted.calls;
    painted.width = width;
    painted.height = height;
    CanvasFill(0, 0, width, height, White);
    CanvasFill(10, 10, 20, 20, Red);
    const CanvasPoint thin[] = {{5, 50}, {60, 50}};
    CanvasLines(thin, 2, Blue, 1);
    const CanvasPoint thick[] = {{5, 70}, {60, 70}, {60, 80}};
    CanvasLines(thick, 3, Blue, 3);
    CanvasClip(80, 10, 20, 20);
    CanvasFill(70, 0, 60, 60, Green);
    CanvasClipOff();
    CanvasText(5, 90, Sample, Black);
    painted.sampleWidth = CanvasTextWidth(Sample);
    painted.letterWidth = CanvasTextWidth(U16("П"));
    painted.textHeight = CanvasTextHeight();
}

struct Image {
    int width = 0, height = 0;
    std::vector<int32_t> pixels;
    int32_t at(int x, int y) const { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
};

using DriverFactory = std::unique_ptr<UiDriver> (*)();

class CanvasContract : public ::testing::TestWithParam<DriverFactory> {
  protected:
    void SetUp() override {
        painted = Painted{};
        driver_ = GetParam()();
        driver_->Install();
        ASSERT_NE(0, OpenWindow(Chart, 40, 40, 300, 200, U16("График"),
                                WindowSystemMenu | WindowResizable | WindowHidden));
        ASSERT_EQ(Canvas,
                  CreateCanvas(Chart, Canvas, 0, CanvasTop, 300, 200 - CanvasTop, CanvasStretch));
        BindPaintHandler(Chart, Canvas, DrawSample);
        HideWindow(Chart, 0);
        driver_->ProcessPaints();
    }
    void TearDown() override { ToolkitRelease(); }

    Image Snapshot() {
        Image image;
        image.pixels = driver_->CanvasPixels(Chart, Canvas, image.width, image.height);
        return image;
    }

    // The events queued so far, as (kind, object, type).
    std::vector<std::tuple<int, int, int>> Drain() {
        PostEvent(Marker, Chart, 0, 0);
        std::vector<std::tuple<int, int, int>> seen;
        for (;;) {
            const int kind = WaitEvent();
            if (kind == Marker) return seen;
            if (kind != IgnoredEvent) seen.emplace_back(kind, EventObject(), EventType());
        }
    }

    std::unique_ptr<UiDriver> driver_;
};

TEST_P(CanvasContract, TheHandlerPaintsFillsLinesClipsAndTextWhereAsked) {
    const Image image = Snapshot();
    ASSERT_EQ(300, image.width);
    ASSERT_EQ(200 - CanvasTop, image.height);
    EXPECT_EQ(300, painted.width);
    EXPECT_EQ(200 - CanvasTop, painted.height);

    // A fill covers its rectangle and no more.
    EXPECT_EQ(Red, image.at(10, 10));
    EXPECT_EQ(Red, image.at(29, 29));
    EXPECT_EQ(White, image.at(9, 9));
    EXPECT_EQ(White, image.at(30, 30));
    // A line of one pixel, its ends included; a wide pen around the points it joins.
    for (int x : {5, 30, 60}) EXPECT_EQ(Blue, image.at(x, 50)) << x;
    EXPECT_EQ(White, image.at(30, 49));
    EXPECT_EQ(White, image.at(30, 51));
    for (int y : {69, 70, 71}) EXPECT_EQ(Blue, image.at(30, y)) << y;
    EXPECT_EQ(Blue, image.at(60, 75));
    EXPECT_EQ(White, image.at(30, 73));
    // The clip keeps the fill inside it; after ClipOff nothing is clipped.
    EXPECT_EQ(Green, image.at(80, 10));
    EXPECT_EQ(Green, image.at(99, 29));
    EXPECT_EQ(White, image.at(75, 5));
    EXPECT_EQ(White, image.at(100, 30));
    EXPECT_EQ(White, image.at(85, 40));

    // Text is measured in the font it is drawn in, and drawn inside what it measures.
    EXPECT_GT(painted.letterWidth, 0);
    EXPECT_GT(painted.sampleWidth, 4 * painted.letterWidth);
    EXPECT_GT(painted.textHeight, 0);
    int inked = 0, outside = 0;
    for (int y = 86; y < 90 + painted.textHeight + 4; ++y)
        for (int x = 0; x < 5 + painted.sampleWidth + 4; ++x) {
            const bool inBox =
                x >= 5 && x < 5 + painted.sampleWidth && y >= 90 && y < 90 + painted.textHeight;
            if (image.at(x, y) != White) ++(inBox ? inked : outside);
        }
    EXPECT_GT(inked, 10);
    EXPECT_EQ(0, outside);

    // Outside a paint handler the drawing calls do nothing.
    EXPECT_EQ(0, CanvasTextWidth(Sample));
    EXPECT_EQ(0, CanvasTextHeight());
    CanvasFill(0, 0, 10, 10, Black);
}

TEST_P(CanvasContract, TheCanvasIsSavedAsAPngImageOfItsSize) {
    // A name of the test's own in the temporary folder, ASCII as the program's are.
    const std::string path =
        std::filesystem::path(std::filesystem::temp_directory_path() /
                              ("kv-canvas-" + std::to_string(std::rand()) + ".png"))
            .string();
    const int before = painted.calls;
    ASSERT_NE(0, SaveCanvasImage(Chart, Canvas, std::u16string(path.begin(), path.end())));
    EXPECT_GT(painted.calls, before) << "drawn by its handler";
    int width = 0, height = 0;
    EXPECT_TRUE(driver_->SavedImageSize(path, width, height));
    EXPECT_EQ(300, width);
    EXPECT_EQ(200 - CanvasTop, height);
    std::filesystem::remove(path);
    EXPECT_EQ(0, SaveCanvasImage(Chart, 99, std::u16string(path.begin(), path.end())));
    EXPECT_EQ(0, SaveCanvasImage(Chart, Canvas, u""));
}

TEST_P(CanvasContract, AStretchedCanvasFollowsTheWindowsSizeAndIsPaintedAtIt) {
    ASSERT_TRUE(driver_->ResizeWindow(Chart, 420, 260));
    EXPECT_EQ(420, WindowWidth(Chart));
    EXPECT_EQ(260, WindowHeight(Chart));
    EXPECT_EQ(420, ControlWidth(Chart, Canvas));
    EXPECT_EQ(260 - CanvasTop, ControlHeight(Chart, Canvas));
    EXPECT_EQ(CanvasTop, ControlY(Chart, Canvas));
    driver_->ProcessPaints();
    EXPECT_EQ(420, painted.width);
    EXPECT_EQ(260 - CanvasTop, painted.height);
    const Image image = Snapshot();
    EXPECT_EQ(420, image.width);
    EXPECT_EQ(Red, image.at(20, 20));

    // Smaller again; a window of fixed size cannot be resized by the user.
    ASSERT_TRUE(driver_->ResizeWindow(Chart, 250, 150));
    EXPECT_EQ(250, ControlWidth(Chart, Canvas));
    EXPECT_EQ(150 - CanvasTop, ControlHeight(Chart, Canvas));
    ASSERT_NE(0, OpenWindow(Fixed, 0, 0, 200, 100, U16("Окно"), WindowSystemMenu));
    EXPECT_FALSE(driver_->ResizeWindow(Fixed, 300, 200));
    EXPECT_EQ(200, WindowWidth(Fixed));
}

TEST_P(CanvasContract, AWindowIsPlacedInTheWorkAreaKeepsItsLeastSizeAndCanBeOwned) {
    const ScreenRect work = ScreenWorkArea(Chart);
    ASSERT_GE(work.width, 400);
    ASSERT_GE(work.height, 300);
    PlaceWindow(Chart, work.x + 30, work.y + 40, 320, 220);
    driver_->ProcessPaints();
    const ScreenRect frame = WindowFrame(Chart);
    EXPECT_EQ(work.x + 30, frame.x);
    EXPECT_EQ(work.y + 40, frame.y);
    // The frame holds the client area and adds no more than borders and a title bar.
    EXPECT_GE(frame.width, 320);
    EXPECT_LE(frame.width, 320 + 40);
    EXPECT_GE(frame.height, 220);
    EXPECT_LE(frame.height, 220 + 80);
    EXPECT_EQ(320, WindowWidth(Chart));
    EXPECT_EQ(220, WindowHeight(Chart));
    EXPECT_EQ(220 - CanvasTop, ControlHeight(Chart, Canvas)) << "a stretched canvas follows";

    // The user cannot shrink it below its least size; a smaller window grows to it.
    SetMinimumWindowSize(Chart, 280, 180);
    ASSERT_TRUE(driver_->ResizeWindow(Chart, 100, 80));
    EXPECT_EQ(280, WindowWidth(Chart));
    EXPECT_EQ(180, WindowHeight(Chart));
    EXPECT_EQ(280, ControlWidth(Chart, Canvas));
    SetMinimumWindowSize(Chart, 300, 200);
    EXPECT_EQ(300, WindowWidth(Chart));
    EXPECT_EQ(200, WindowHeight(Chart));

    ASSERT_NE(0, OpenWindow(Fixed, 0, 0, 200, 100, U16("Окно"), WindowSystemMenu));
    EXPECT_EQ(NoOwner, driver_->WindowOwner(Chart));
    SetWindowOwner(Chart, Fixed);
    EXPECT_EQ(Fixed, driver_->WindowOwner(Chart));
    SetWindowOwner(Chart, Chart);  // not its own
    SetWindowOwner(Chart, 99);     // no such window
    EXPECT_EQ(Fixed, driver_->WindowOwner(Chart));
    SetWindowOwner(Chart, NoOwner);
    EXPECT_EQ(NoOwner, driver_->WindowOwner(Chart));
    EXPECT_EQ(ScreenRect{}, WindowFrame(99));
}

TEST_P(CanvasContract, ARepaintAskedForFromAnyThreadLeadsToAPaint) {
    const int before = painted.calls;
    RepaintControl(Chart, Canvas);
    driver_->ProcessPaints();
    EXPECT_GT(painted.calls, before);

    const int beforeWorker = painted.calls;
    std::thread worker([] {
        RepaintControl(Chart, Canvas);
        PostEvent(MenuEvent, Chart, 1, 0);
    });
    while (WaitEvent() != MenuEvent) {
    }
    worker.join();
    driver_->ProcessPaints();
    EXPECT_GT(painted.calls, beforeWorker);

    // A paint asked for later comes once its time has passed.
    const int beforeLater = painted.calls;
    RepaintControl(Chart, Canvas, 50);
    RepaintControl(Chart, Canvas, 50);
    for (int i = 0; i < 100 && painted.calls == beforeLater; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        driver_->ProcessPaints();
    }
    EXPECT_GT(painted.calls, beforeLater);
}

TEST_P(CanvasContract, PointerMovesAreReportedAndThePositionIsKnown) {
    EXPECT_EQ(NoPointer, CanvasPointerX(Chart, Canvas));
    EXPECT_EQ(NoPointer, CanvasPointerY(Chart, Canvas));
    ASSERT_TRUE(driver_->MovePointer(Chart, Canvas, 12, 34));
    EXPECT_EQ(12, CanvasPointerX(Chart, Canvas));
    EXPECT_EQ(34, CanvasPointerY(Chart, Canvas));
    // A second move while the first still waits reaches the loop as one event.
    ASSERT_TRUE(driver_->MovePointer(Chart, Canvas, 40, 20));
    const auto moved = std::make_tuple(ControlEvent, Canvas, PointerMoved);
    EXPECT_EQ((std::vector<std::tuple<int, int, int>>{moved}), Drain());
    EXPECT_EQ(40, CanvasPointerX(Chart, Canvas));
    EXPECT_EQ(20, CanvasPointerY(Chart, Canvas));

    ASSERT_TRUE(driver_->PointerLeaves(Chart, Canvas));
    EXPECT_EQ((std::vector<std::tuple<int, int, int>>{moved}), Drain());
    EXPECT_EQ(NoPointer, CanvasPointerX(Chart, Canvas));
    EXPECT_EQ(NoPointer, CanvasPointerY(Chart, Canvas));
    EXPECT_FALSE(driver_->MovePointer(Chart, Canvas, 300, 10));  // beyond its edge
}

}  // namespace

INSTANTIATE_TEST_SUITE_P(Headless, CanvasContract, ::testing::Values(&MakeHeadlessDriver));
#ifdef KV_TEST_QT
INSTANTIATE_TEST_SUITE_P(Qt, CanvasContract, ::testing::Values(&MakeQtDriver));
#endif
#ifdef KV_TEST_WIN32
INSTANTIATE_TEST_SUITE_P(Win32, CanvasContract, ::testing::Values(&MakeWin32Driver));
#endif

}  // namespace kv::ui::test
