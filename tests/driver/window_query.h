#pragma once
// Reading another process's windows. Every message is sent with a timeout: the updater may be
// blocked, and the driver must answer every request.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "protocol.h"

void SetSendTimeout(DWORD ms);
LRESULT SendWithTimeout(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

std::string Number(long long value);
std::string HandleNumber(const void* handle);

std::string ClassName(HWND window);
// The text the window itself reports (WM_GETTEXT), as edit and combo boxes keep their own.
// Neither gives a resource ordinal (a picture static's "text"): that reads as empty.
std::string SentText(HWND window);
// The caption kept by the system, read without sending the window anything.
std::string CaptionText(HWND window);

// One record per window: handle, class, text, id, style, extended style, visible, enabled,
// owner, parent, then three rectangles of left, top, right, bottom: on the screen, in the
// parent's client coordinates (the screen for a top-level window), and the client area on the
// screen. Only edit and combo boxes are sent a message (WM_GETTEXT) for their text, and only with
// sendForOwnText: without it, they give the caption the system keeps (often empty).
Fields Describe(HWND window, bool sendForOwnText);

std::vector<HWND> TopLevelWindows(DWORD pid);
std::vector<HWND> ChildrenInZOrder(HWND parent);
