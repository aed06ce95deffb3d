#pragma once
#include <cstdint>

// Parses the wait string as atoi does: leading white space, an optional sign, then digits up to
// the first non-digit; no digits give 0. Values beyond 32 bits saturate instead of overflowing.
int32_t ParseWaitString(const char* text);

// The number of tenth-of-a-second ticks for a wait: negative waits give 0, and a wait too long
// for the bar's signed 32-bit range is held at the largest count instead of wrapping.
uint32_t WaitTicks(int64_t seconds);
