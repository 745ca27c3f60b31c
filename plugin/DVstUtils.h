// Small utilities of the host interface.
#pragma once

#include <cstddef>
#include <cstdint>

#include "dsp/rounding.h"

// Packs four characters into one 32-bit code, first character in the most
// significant byte.
constexpr std::int32_t FourCharCode(int a, int b, int c, int d) {
    return static_cast<std::int32_t>((static_cast<std::uint32_t>(a & 0xFF) << 24) |
                                     (static_cast<std::uint32_t>(b & 0xFF) << 16) |
                                     (static_cast<std::uint32_t>(c & 0xFF) << 8) |
                                     static_cast<std::uint32_t>(d & 0xFF));
}

static_assert(FourCharCode('V', 's', 't', 'P') == 0x56737450);
static_assert(FourCharCode('N', 'o', 'E', 'f') == 0x4E6F4566);
static_assert(FourCharCode('N', 'v', 'E', 'f') == 0x4E764566);
static_assert(FourCharCode('z', 'Q', 'v', 'k') == 0x7A51766B);

// Copies a zero-terminated text, terminator included, into a host buffer
// whose size the host does not tell us.
inline void copyText(char* dest, const char* text) {
    while ((*dest++ = *text++) != '\0') {
    }
}

// Copies at most `maxChars` characters of `text` into `dest` and always
// terminates it: `dest` must hold maxChars + 1 bytes.
inline void copyTextBounded(char* dest, const char* text, std::size_t maxChars) {
    std::size_t n = 0;
    for (; n < maxChars && text[n] != '\0'; ++n) dest[n] = text[n];
    dest[n] = '\0';
}

// Host values that become integers go through the engine's one rounding
// helper, which range-checks them.
using halvorine::dsp::roundHalfEven;
