#pragma once
#include <cstdint>

// A complete PJL job that makes the printer print its configuration (self-test) page: the
// universal exit sequence, one PJL command line, and the universal exit sequence again.
inline constexpr char kConfigPageJobText[] =
    "\x1B%-12345X@PJL DEFAULT TESTPAGE=SELFTEST\n\x1B%-12345X";
inline constexpr uint32_t kConfigPageJobSize = sizeof kConfigPageJobText - 1; // no terminator
inline const uint8_t* const configPageJob = reinterpret_cast<const uint8_t*>(kConfigPageJobText);
static_assert(kConfigPageJobSize == 49, "the configuration-page job is 49 bytes");
