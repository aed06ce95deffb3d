#include "ui/wait_string.h"

#include <climits>

int32_t ParseWaitString(const char* text) {
    if (text == nullptr) return 0;
    const char* p = text;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = (*p++ == '-');
    int64_t value = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        value = value * 10 + (*p - '0');
        if (value > static_cast<int64_t>(INT32_MAX) + 1) value = static_cast<int64_t>(INT32_MAX) + 1;
    }
    if (negative) value = -value;
    if (value > INT32_MAX) value = INT32_MAX;
    return static_cast<int32_t>(value);
}

uint32_t WaitTicks(int64_t seconds) {
    if (seconds <= 0) return 0;
    if (seconds > INT32_MAX / 10) return INT32_MAX;
    return static_cast<uint32_t>(seconds * 10);
}
