// Writes the bundle's Contents/Resources/moduleinfo.json from the same
// identity the factory reports, so hosts that read it before loading the
// module see what the module itself says.
//   halvorine-vst3-moduleinfo OUTPUT
#include <cstdio>
#include <string>

#include "identity.h"

using namespace halvorine::vst3;

namespace {

// The sub-categories as a JSON list: "Fx|Modulation" -> "Fx", "Modulation".
std::string subCategoryList() {
    std::string list = "\"";
    for (const char* p = kSubCategories; *p; ++p) list += *p == '|' ? std::string("\", \"") : std::string(1, *p);
    return list + "\"";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT\n", argv[0]);
        return 2;
    }
    std::FILE* out = std::fopen(argv[1], "w");
    if (!out) {
        std::perror(argv[1]);
        return 1;
    }
    char cid[33];
    std::snprintf(cid, sizeof cid, "%08X%08X%08X%08X", static_cast<unsigned>(kClassIdWords[0]),
                  static_cast<unsigned>(kClassIdWords[1]), static_cast<unsigned>(kClassIdWords[2]),
                  static_cast<unsigned>(kClassIdWords[3]));
    std::fprintf(out,
                 "{\n"
                 "  \"Name\": \"%s\",\n"
                 "  \"Version\": \"%s\",\n"
                 "  \"Factory Info\": {\n"
                 "    \"Vendor\": \"%s\",\n"
                 "    \"URL\": \"%s\",\n"
                 "    \"E-Mail\": \"%s\",\n"
                 "    \"Flags\": {\n"
                 "      \"Unicode\": false,\n"
                 "      \"Classes Discardable\": false,\n"
                 "      \"Component Non Discardable\": false\n"
                 "    }\n"
                 "  },\n"
                 "  \"Compatibility\": [],\n"
                 "  \"Classes\": [\n"
                 "    {\n"
                 "      \"CID\": \"%s\",\n"
                 "      \"Category\": \"%s\",\n"
                 "      \"Name\": \"%s\",\n"
                 "      \"Vendor\": \"%s\",\n"
                 "      \"Version\": \"%s\",\n"
                 "      \"SDKVersion\": \"%s\",\n"
                 "      \"Sub Categories\": [%s],\n"
                 "      \"Class Flags\": 0,\n"
                 "      \"Cardinality\": 2147483647,\n"
                 "      \"Snapshots\": []\n"
                 "    }\n"
                 "  ]\n"
                 "}\n",
                 kClassName, kVersion, kVendor, kUrl, kEmail, cid, kCategory, kClassName, kVendor,
                 kVersion, kInterfaceVersion, subCategoryList().c_str());
    return std::fclose(out) == 0 ? 0 : 1;
}
