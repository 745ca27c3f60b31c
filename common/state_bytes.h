// The effect's state as bytes, the same for every format that saves it:
// the current program and all eight programs with their names and values.
//
// Version 3, little-endian, 1136 bytes:
//   "HLVR"            4 bytes
//   version           uint32, 3
//   current program   uint32, 0..7
//   8 times:
//     name            64 bytes, zero-terminated within 61, zero-padded
//     values          19 float32, each 0..1 (slots 0..10, the synth's 11..18)
//   bypass            uint32, 0 or 1 (the host's switch, where the format has one)
// Version 2 (880 bytes) holds 11 values a program, before the carrier
// synth: it loads with the synth's values at their defaults (Carrier on
// Input). Version 1, written before the bypass, is version 2 without its
// last field (876 bytes) and loads as not bypassed.
//
// One program, as a preset holds it (a VST 3 preset file, a host saving a
// preset rather than a project), version 2, little-endian, 148 bytes:
//   "HLVP"            4 bytes
//   version           uint32, 2
//   name              64 bytes, as above
//   values            19 float32, each 0..1
// Version 1 (116 bytes) holds 11 values; the synth's take their defaults.
// It loads into the current program and leaves the other seven, the
// program number and the bypass alone.
#pragma once

#include <cstddef>
#include <cstdint>

#include "effect_core.h"

namespace halvorine::common {

inline constexpr std::uint32_t kStateVersion = 3;
inline constexpr std::size_t kStateNameBytes = 64;
inline constexpr std::size_t kStateBytesVersion1 =
    12 + EffectCore::kPrograms * (kStateNameBytes + 4 * EffectCore::kSlots);
inline constexpr std::size_t kStateBytesVersion2 = kStateBytesVersion1 + 4;
inline constexpr std::size_t kStateBytes =
    16 + EffectCore::kPrograms * (kStateNameBytes + 4 * EffectCore::kAllSlots);
inline constexpr std::size_t kProgramStateBytesVersion1 = 8 + kStateNameBytes + 4 * EffectCore::kSlots;
inline constexpr std::size_t kProgramStateBytes = 8 + kStateNameBytes + 4 * EffectCore::kAllSlots;

// Writes the state into `out`; returns kStateBytes, or 0 (writing nothing)
// when `capacity` is smaller.
std::size_t writeState(const EffectCore& core, std::uint8_t* out, std::size_t capacity,
                       bool bypassed = false);
// The same for a bank read out of the core and amended by the caller
// (values in 0..1, `current` in 0..7).
std::size_t writeState(const EffectCore::Bank& bank, std::uint8_t* out, std::size_t capacity,
                       bool bypassed = false);

// One program in its own form; returns kProgramStateBytes, or 0 (writing
// nothing) when `capacity` is smaller or the name is longer than a
// program's.
std::size_t writeProgramState(const char* name, const float (&values)[EffectCore::kAllSlots],
                              std::uint8_t* out, std::size_t capacity);

// Loads either form, all or nothing. Bytes that are truncated, too long, of another
// version or magic, or garbage (a value outside 0..1 or not a number, a
// name without its terminator or with bytes after the padding starts, a
// program index beyond 7, a bypass other than 0 or 1) give false and leave
// the core and `bypassed` as they were. On success `bypassed`, when given,
// receives the saved switch; a single program leaves it alone.
bool readState(EffectCore& core, const std::uint8_t* data, std::size_t size,
               bool* bypassed = nullptr);

}  // namespace halvorine::common
