// Who the plug-in is to a VST 3 host: the class identifier (fixed forever:
// saved projects refer to it), names, category and version. The factory and
// the generated moduleinfo.json both read these.
#pragma once

#include <cstdint>

#include "halvorine_version.h"
#include "product.h"

namespace halvorine::vst3 {

// The audio effect class, as the four words a host's registry shows.
inline constexpr std::uint32_t kClassIdWords[4] = {0xD1AAEF93, 0xCCB14B27, 0x9F3F7681,
                                                   0x8C9C2932};

inline constexpr const char* kVendor = kVendorName;
inline constexpr const char* kUrl = "";
inline constexpr const char* kEmail = "";
inline constexpr const char* kClassName = kProductName;
inline constexpr const char* kCategory = "Audio Module Class";
inline constexpr const char* kSubCategories = "Fx|Modulation";
inline constexpr const char* kVersion = kProductVersion;
inline constexpr const char* kInterfaceVersion = "VST 3.7.9";

}  // namespace halvorine::vst3
