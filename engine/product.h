// Who the plug-in is, in every host format: the names hosts show and saved
// projects may refer to.
#pragma once

namespace halvorine {

inline constexpr const char* kProductName = "Halvorine";
inline constexpr const char* kVendorName = "Brindlex";

// The VST 2 library's unique ID ('zQvk') and version, as its record
// reports them: program and bank files name the plug-in by them.
inline constexpr int kVst2UniqueId = ('z' << 24) | ('Q' << 16) | ('v' << 8) | 'k';
inline constexpr int kVst2Version = 1;

}  // namespace halvorine
