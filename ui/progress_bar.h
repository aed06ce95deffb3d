#pragma once
#include <windows.h>

#include <cstdint>

// A thin wrapper over the progress-bar control that keeps its own record of the bar's state.
class CProgressBar {
  public:
    CProgressBar(HWND parent, HINSTANCE instance, int x, int y, int width, int height);
    ~CProgressBar() = default; // the control is a child window: it goes with its dialog

    // The screen's horizontal pixels per inch, or -1 when no screen device context is available.
    static int GetScreenDPI();

    void setRange(int32_t min, int32_t max);
    void setStep(int32_t step);
    void step();
    void setPos(int32_t value);
    void setBarColor(int red, int green, int blue);

    HWND control;
    int32_t rangeMin;
    int32_t rangeMax;
    int32_t stepSize;
    int32_t position;
};

// The completion wait: the bar fills over `seconds`, one step a tenth of a second, while the
// thread's messages keep being dispatched. It ends early once `stopEarly`, asked every step,
// says so.
void ScrollbarWait(uint32_t seconds, bool (*stopEarly)() = nullptr);
