// Who the plug-in is, in every host format: the names hosts show and saved
// projects may refer to.
#pragma once

namespace halvorine {

inline constexpr const char* kProductName = "Halvorine";
inline constexpr const char* kVendorName = "Brindlex";

}  // namespace halvorine
