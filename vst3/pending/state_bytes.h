#pragma once
#include <cmath>
#include <cstdint>
#include <cstring>
#include "effect_core.h"
namespace halvorine::common {
inline constexpr std::size_t kStateBytes = 8 + 4 + sizeof(EffectCore::Bank::values) + sizeof(EffectCore::Bank::names);
inline std::size_t writeState(const EffectCore& core, std::uint8_t* out, std::size_t cap) {
    if (cap < kStateBytes) return 0;
    EffectCore::Bank b; core.readBank(b);
    std::memcpy(out, "HLVR\1\0\0\0", 8); std::memcpy(out + 8, &b.current, 4);
    std::memcpy(out + 12, b.values, sizeof b.values); std::memcpy(out + 12 + sizeof b.values, b.names, sizeof b.names);
    return kStateBytes;
}
inline bool readState(EffectCore& core, const std::uint8_t* d, std::size_t n) {
    if (!d || n < kStateBytes || std::memcmp(d, "HLVR\1\0\0\0", 8) != 0) return false;
    EffectCore::Bank b; std::memcpy(&b.current, d + 8, 4);
    std::memcpy(b.values, d + 12, sizeof b.values); std::memcpy(b.names, d + 12 + sizeof b.values, sizeof b.names);
    if (b.current < 0 || b.current >= EffectCore::kPrograms) return false;
    for (auto& row : b.values) for (float v : row) if (!(v >= 0.0f && v <= 1.0f)) return false;
    for (auto& nm : b.names) if (!std::memchr(nm, 0, sizeof nm)) return false;
    core.writeBank(b); return true;
}
}  // namespace halvorine::common
