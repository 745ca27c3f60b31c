// The effect's state as bytes, the same for every format that saves it:
// the current program and all eight programs with their names and values.
//
// Version 2, little-endian, 880 bytes:
//   "HLVR"            4 bytes
//   version           uint32, 2
//   current program   uint32, 0..7
//   8 times:
//     name            64 bytes, zero-terminated within 61, zero-padded
//     values          11 float32, each 0..1
//   bypass            uint32, 0 or 1 (the host's switch, where the format has one)
// Version 1, written before the bypass, is the same without its last field
// (876 bytes) and loads as not bypassed.
#pragma once

#include <cstddef>
#include <cstdint>

#include "effect_core.h"

namespace halvorine::common {

inline constexpr std::uint32_t kStateVersion = 2;
inline constexpr std::size_t kStateNameBytes = 64;
inline constexpr std::size_t kStateBytesVersion1 =
    12 + EffectCore::kPrograms * (kStateNameBytes + 4 * EffectCore::kSlots);
inline constexpr std::size_t kStateBytes = kStateBytesVersion1 + 4;

// Writes the state into `out`; returns kStateBytes, or 0 (writing nothing)
// when `capacity` is smaller.
std::size_t writeState(const EffectCore& core, std::uint8_t* out, std::size_t capacity,
                       bool bypassed = false);
// The same for a bank read out of the core and amended by the caller
// (values in 0..1, `current` in 0..7).
std::size_t writeState(const EffectCore::Bank& bank, std::uint8_t* out, std::size_t capacity,
                       bool bypassed = false);

// Loads all or nothing. Bytes that are truncated, too long, of another
// version or magic, or garbage (a value outside 0..1 or not a number, a
// name without its terminator or with bytes after the padding starts, a
// program index beyond 7, a bypass other than 0 or 1) give false and leave
// the core and `bypassed` as they were. On success `bypassed`, when given,
// receives the saved switch.
bool readState(EffectCore& core, const std::uint8_t* data, std::size_t size,
               bool* bypassed = nullptr);

}  // namespace halvorine::common
