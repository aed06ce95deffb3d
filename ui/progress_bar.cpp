#include "ui/progress_bar.h"

#include <commctrl.h>

#include "base/updater_state.h"
#include "ui/dpi_scale.h"
#include "ui/wait_string.h"

namespace {

constexpr DWORD kBarStyle = WS_CHILD | WS_VISIBLE | PBS_SMOOTH;
constexpr DWORD kTickMilliseconds = 100;
constexpr int32_t kLargest16BitEnd = 0xFFFF;

bool FitsSixteenBits(int32_t value) { return value >= 0 && value <= kLargest16BitEnd; }

// Dispatches every message waiting for the thread, for any window. There is no dialog keyboard
// handling here, so the dialog's Tab, mnemonics, Enter and Esc do nothing during the wait. A
// quit belongs to the message loop outside: it is posted again, and ends this turn's messages.
void DispatchPendingMessages() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

} // namespace

int CProgressBar::GetScreenDPI() {
    HDC screen = GetDC(nullptr);
    if (screen == nullptr) return -1;
    int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    return dpi;
}

CProgressBar::CProgressBar(HWND parent, HINSTANCE instance, int x, int y, int width, int height)
    : control(nullptr), rangeMin(0), rangeMax(100), stepSize(1), position(0) {
    Geometry at = ScaleForDpi(Geometry{x, y, width, height}, GetScreenDPI());
    control = CreateWindowExA(0, PROGRESS_CLASSA, nullptr, kBarStyle, at.x, at.y, at.width,
                              at.height, parent, nullptr, instance, nullptr);
    setRange(0, 100);
    setStep(1);
    setBarColor(0, 0, 255);
}

void CProgressBar::setRange(int32_t min, int32_t max) {
    rangeMin = min;
    rangeMax = max;
    position = 0;
    // The 16-bit message cannot carry a longer range; the 32-bit one keeps the bar filling evenly.
    if (FitsSixteenBits(min) && FitsSixteenBits(max))
        SendMessageA(control, PBM_SETRANGE, 0, MAKELPARAM(min, max));
    else
        SendMessageA(control, PBM_SETRANGE32, static_cast<WPARAM>(min), static_cast<LPARAM>(max));
    SendMessageA(control, PBM_SETPOS, 0, 0);
}

void CProgressBar::setStep(int32_t step) {
    stepSize = step;
    SendMessageA(control, PBM_SETSTEP, static_cast<WPARAM>(step), 0);
}

void CProgressBar::step() {
    if (position < rangeMax) {
        SendMessageA(control, PBM_STEPIT, 0, 0);
        position += stepSize;
    }
    if (position > rangeMax) position = rangeMax;
}

void CProgressBar::setPos(int32_t value) {
    if (value > rangeMax) value = rangeMax;
    position = value;
    SendMessageA(control, PBM_SETPOS, static_cast<WPARAM>(value), 0);
}

void CProgressBar::setBarColor(int red, int green, int blue) {
    COLORREF color = RGB(red & 0xFF, green & 0xFF, blue & 0xFF);
    SendMessageA(control, PBM_SETBARCOLOR, 0, static_cast<LPARAM>(color));
}

void ScrollbarWait(uint32_t seconds, bool (*stopEarly)()) {
    uint32_t ticks = WaitTicks(seconds);
    progressBar->setRange(0, static_cast<int32_t>(ticks));
    progressBar->setStep(1);
    progressBar->setPos(0);
    for (uint32_t tick = 0; tick < ticks; ++tick) {
        Sleep(kTickMilliseconds);
        DispatchPendingMessages();
        if (stopEarly != nullptr && stopEarly()) return;
        progressBar->step();
    }
}
