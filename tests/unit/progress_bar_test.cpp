#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include "base/updater_state.h"
#include "ui/common_controls.h"
#include "ui/progress_bar.h"

namespace {

class ProgressBarTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(LoadCommonControls(), 1);
        parent_ = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 600, 300, nullptr, nullptr,
                                  nullptr, nullptr);
        bar_ = new CProgressBar(parent_, GetModuleHandleA(nullptr), 55, 102, 350, 20);
        progressBar = bar_;
    }
    void TearDown() override {
        progressBar = nullptr;
        delete bar_;
        DestroyWindow(parent_);
    }
    LRESULT ControlPos() { return SendMessageA(bar_->control, PBM_GETPOS, 0, 0); }
    LRESULT ControlMax() { return SendMessageA(bar_->control, PBM_GETRANGE, FALSE, 0); }

    HWND parent_ = nullptr;
    CProgressBar* bar_ = nullptr;
};

} // namespace

TEST_F(ProgressBarTest, StartsEmptyWithRangeZeroToHundred) {
    ASSERT_NE(bar_->control, nullptr);
    EXPECT_EQ(bar_->rangeMin, 0);
    EXPECT_EQ(bar_->rangeMax, 100);
    EXPECT_EQ(bar_->stepSize, 1);
    EXPECT_EQ(bar_->position, 0);
    EXPECT_EQ(ControlMax(), 100);
    EXPECT_EQ(GetWindowLongA(bar_->control, GWL_STYLE) & 0xFFFF0FFF, 0x50000001);
    // Setting a colour answers with the one before: the constructor's blue.
    EXPECT_EQ(SendMessageA(bar_->control, PBM_SETBARCOLOR, 0, RGB(0, 0, 136)), RGB(0, 0, 255));
}

TEST_F(ProgressBarTest, PlacedAtTheScreensDpi) {
    RECT r;
    GetWindowRect(bar_->control, &r);
    MapWindowPoints(nullptr, parent_, reinterpret_cast<POINT*>(&r), 2);
    int dpi = CProgressBar::GetScreenDPI();
    ASSERT_GT(dpi, 0);
    EXPECT_EQ(r.left, static_cast<int>(55 * static_cast<double>(static_cast<float>(dpi / 96.0f))));
    if (dpi == 96) {
        EXPECT_EQ(r.top, 102);
        EXPECT_EQ(r.right - r.left, 350);
        EXPECT_EQ(r.bottom - r.top, 20);
    }
}

TEST_F(ProgressBarTest, SetPosClampsToTheMaximumOnly) {
    bar_->setPos(150);
    EXPECT_EQ(bar_->position, 100);
    EXPECT_EQ(ControlPos(), 100);
    bar_->setPos(40);
    EXPECT_EQ(bar_->position, 40);
    EXPECT_EQ(ControlPos(), 40);
}

TEST_F(ProgressBarTest, StepAtTheMaximumChangesNothing) {
    bar_->setPos(100);
    bar_->step();
    EXPECT_EQ(bar_->position, 100);
    EXPECT_EQ(ControlPos(), 100);
}

TEST_F(ProgressBarTest, LargeStepClampsTheRecordedPosition) {
    bar_->setStep(30);
    bar_->setPos(90);
    bar_->step();
    EXPECT_EQ(bar_->position, 100);
}

TEST_F(ProgressBarTest, RangesBeyondSixteenBitsReachTheControl) {
    bar_->setRange(0, 65530);
    EXPECT_EQ(ControlMax(), 65530);
    bar_->setRange(0, 10000000); // a wait of 1,000,000 seconds
    EXPECT_EQ(ControlMax(), 10000000);
    bar_->setPos(5000000);
    EXPECT_EQ(ControlPos(), 5000000);
    EXPECT_EQ(bar_->position, 5000000);
}

TEST_F(ProgressBarTest, ZeroWaitReturnsAtOnceWithoutATick) {
    bar_->setPos(50);
    ScrollbarWait(0);
    EXPECT_EQ(bar_->rangeMax, 0);
    EXPECT_EQ(bar_->position, 0);
    EXPECT_EQ(ControlPos(), 0);
}

TEST_F(ProgressBarTest, ShortWaitEndsFull) {
    ScrollbarWait(1);
    EXPECT_EQ(bar_->rangeMax, 10);
    EXPECT_EQ(bar_->position, 10);
    EXPECT_EQ(ControlPos(), 10);
    EXPECT_EQ(ControlMax(), 10);
}

namespace {
int timerCalls = 0;
void CALLBACK CountTimer(HWND, UINT, UINT_PTR, DWORD) { ++timerCalls; }
} // namespace

TEST_F(ProgressBarTest, WaitDispatchesMessagesMeanwhile) {
    timerCalls = 0;
    UINT_PTR timer = SetTimer(nullptr, 0, 10, CountTimer);
    ScrollbarWait(1);
    KillTimer(nullptr, timer);
    EXPECT_GE(timerCalls, 5);
}
