#include "state_bytes.h"

#include <bit>
#include <cstring>

namespace halvorine::common {
namespace {

constexpr std::uint8_t kMagic[4] = {'H', 'L', 'V', 'R'};

void put32(std::uint8_t*& p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) *p++ = static_cast<std::uint8_t>(v >> (8 * i));
}

std::uint32_t get32(const std::uint8_t*& p) {
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= static_cast<std::uint32_t>(*p++) << (8 * i);
    return v;
}

}  // namespace

std::size_t writeState(const EffectCore& core, std::uint8_t* out, std::size_t capacity,
                       bool bypassed) {
    EffectCore::Bank bank;
    core.readBank(bank);
    return writeState(bank, out, capacity, bypassed);
}

std::size_t writeState(const EffectCore::Bank& bank, std::uint8_t* out, std::size_t capacity,
                       bool bypassed) {
    if (!out || capacity < kStateBytes) return 0;
    std::uint8_t* p = out;
    std::memcpy(p, kMagic, sizeof kMagic);
    p += sizeof kMagic;
    put32(p, kStateVersion);
    put32(p, static_cast<std::uint32_t>(bank.current));
    for (int k = 0; k < EffectCore::kPrograms; ++k) {
        std::memset(p, 0, kStateNameBytes);
        std::memcpy(p, bank.names[k], std::strlen(bank.names[k]));
        p += kStateNameBytes;
        for (int slot = 0; slot < EffectCore::kSlots; ++slot)
            put32(p, std::bit_cast<std::uint32_t>(bank.values[k][slot]));
    }
    put32(p, bypassed ? 1u : 0u);
    return kStateBytes;
}

bool readState(EffectCore& core, const std::uint8_t* data, std::size_t size, bool* bypassed) {
    if (!data || size < kStateBytesVersion1 || std::memcmp(data, kMagic, sizeof kMagic) != 0)
        return false;
    const std::uint8_t* p = data + sizeof kMagic;
    const std::uint32_t version = get32(p);
    if (size != (version == 1 ? kStateBytesVersion1 : version == 2 ? kStateBytes : 0)) return false;
    EffectCore::Bank bank;
    const std::uint32_t current = get32(p);
    if (current >= static_cast<std::uint32_t>(EffectCore::kPrograms)) return false;
    bank.current = static_cast<int>(current);
    for (int k = 0; k < EffectCore::kPrograms; ++k) {
        const auto* end = static_cast<const std::uint8_t*>(std::memchr(p, 0, EffectCore::kNameChars + 1));
        if (!end) return false;
        for (const std::uint8_t* q = end; q < p + kStateNameBytes; ++q)
            if (*q != 0) return false;
        std::memcpy(bank.names[k], p, static_cast<std::size_t>(end - p) + 1);
        p += kStateNameBytes;
        for (int slot = 0; slot < EffectCore::kSlots; ++slot) {
            const float v = std::bit_cast<float>(get32(p));
            if (!(v >= 0.0f && v <= 1.0f)) return false;
            bank.values[k][slot] = v;
        }
    }
    const std::uint32_t bypass = version == 2 ? get32(p) : 0u;
    if (bypass > 1) return false;
    core.writeBank(bank);
    if (bypassed) *bypassed = bypass != 0;
    return true;
}

}  // namespace halvorine::common
