#include "state_bytes.h"

#include <bit>
#include <cstring>

namespace halvorine::common {
namespace {

constexpr std::uint8_t kMagic[4] = {'H', 'L', 'V', 'R'};
constexpr std::uint8_t kProgramMagic[4] = {'H', 'L', 'V', 'P'};
constexpr std::uint32_t kProgramVersion = 2;

void put32(std::uint8_t*& p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) *p++ = static_cast<std::uint8_t>(v >> (8 * i));
}

std::uint32_t get32(const std::uint8_t*& p) {
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= static_cast<std::uint32_t>(*p++) << (8 * i);
    return v;
}

void putName(std::uint8_t*& p, const char* name) {
    std::memset(p, 0, kStateNameBytes);
    std::memcpy(p, name, std::strlen(name));
    p += kStateNameBytes;
}

// A name field: terminated within a program's name, zeros after.
bool getName(const std::uint8_t*& p, char (&name)[EffectCore::kNameChars + 1]) {
    const auto* end = static_cast<const std::uint8_t*>(std::memchr(p, 0, EffectCore::kNameChars + 1));
    if (!end) return false;
    for (const std::uint8_t* q = end; q < p + kStateNameBytes; ++q)
        if (*q != 0) return false;
    std::memcpy(name, p, static_cast<std::size_t>(end - p) + 1);
    p += kStateNameBytes;
    return true;
}

// `count` values (11 before the synth, 19 since); the rest keep theirs.
bool getValues(const std::uint8_t*& p, float (&values)[EffectCore::kAllSlots], int count) {
    for (int slot = 0; slot < count; ++slot) {
        const float v = std::bit_cast<float>(get32(p));
        if (!(v >= 0.0f && v <= 1.0f)) return false;
        values[slot] = v;
    }
    return true;
}

bool readProgramState(EffectCore& core, const std::uint8_t* data, std::size_t size) {
    if (size < 8) return false;
    const std::uint8_t* p = data + sizeof kProgramMagic;
    const std::uint32_t version = get32(p);
    if (size != (version == 1 ? kProgramStateBytesVersion1 : version == 2 ? kProgramStateBytes : 0)) return false;
    char name[EffectCore::kNameChars + 1];
    EffectCore::Bank defaults;  // the synth's defaults
    float(&values)[EffectCore::kAllSlots] = defaults.values[0];
    if (!getName(p, name) || !getValues(p, values, version == 1 ? EffectCore::kSlots : EffectCore::kAllSlots))
        return false;
    core.loadIntoProgram(values, name);
    return true;
}

}  // namespace

std::size_t writeProgramState(const char* name, const float (&values)[EffectCore::kAllSlots],
                              std::uint8_t* out, std::size_t capacity) {
    if (!out || !name || capacity < kProgramStateBytes ||
        std::strlen(name) > static_cast<std::size_t>(EffectCore::kNameChars))
        return 0;
    std::uint8_t* p = out;
    std::memcpy(p, kProgramMagic, sizeof kProgramMagic);
    p += sizeof kProgramMagic;
    put32(p, kProgramVersion);
    putName(p, name);
    for (const float value : values) put32(p, std::bit_cast<std::uint32_t>(value));
    return kProgramStateBytes;
}

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
        putName(p, bank.names[k]);
        for (int slot = 0; slot < EffectCore::kAllSlots; ++slot)
            put32(p, std::bit_cast<std::uint32_t>(bank.values[k][slot]));
    }
    put32(p, bypassed ? 1u : 0u);
    return kStateBytes;
}

bool readState(EffectCore& core, const std::uint8_t* data, std::size_t size, bool* bypassed) {
    if (data && size >= sizeof kProgramMagic &&
        std::memcmp(data, kProgramMagic, sizeof kProgramMagic) == 0)
        return readProgramState(core, data, size);
    if (!data || size < kStateBytesVersion1 || std::memcmp(data, kMagic, sizeof kMagic) != 0)
        return false;
    const std::uint8_t* p = data + sizeof kMagic;
    const std::uint32_t version = get32(p);
    const std::size_t expected = version == 1   ? kStateBytesVersion1
                                 : version == 2 ? kStateBytesVersion2
                                 : version == 3 ? kStateBytes
                                                : 0;
    if (size != expected) return false;
    EffectCore::Bank bank;
    const std::uint32_t current = get32(p);
    if (current >= static_cast<std::uint32_t>(EffectCore::kPrograms)) return false;
    bank.current = static_cast<int>(current);
    for (int k = 0; k < EffectCore::kPrograms; ++k)
        if (!getName(p, bank.names[k]) ||
            !getValues(p, bank.values[k], version < 3 ? EffectCore::kSlots : EffectCore::kAllSlots))
            return false;
    const std::uint32_t bypass = version >= 2 ? get32(p) : 0u;
    if (bypass > 1) return false;
    core.writeBank(bank);
    if (bypassed) *bypassed = bypass != 0;
    return true;
}

}  // namespace halvorine::common
