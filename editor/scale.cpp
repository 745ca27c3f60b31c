#include "scale.h"

#include <cstdlib>

#include "uEditor.h"

namespace halvorine::editor {
namespace {

// A decimal number as HALVORINE_SCALE gives it ("2", "1.5"), read without
// the C library's locale, which may want a comma; 0 when it is no number.
double parseFactor(const char* text) {
    double value = 0.0;
    bool digits = false;
    const char* p = text;
    while (*p == ' ') ++p;
    for (; *p >= '0' && *p <= '9'; ++p, digits = true) value = value * 10.0 + (*p - '0');
    if (*p == '.' || *p == ',') {
        double place = 0.1;
        for (++p; *p >= '0' && *p <= '9'; ++p, place /= 10.0, digits = true) value += (*p - '0') * place;
    }
    while (*p == ' ') ++p;
    return digits && *p == '\0' ? value : 0.0;
}

}  // namespace

int wholeScale(double factor) {
    if (!(factor > 0.0)) return 0;  // also not a number
    if (factor >= kMaxScale) return kMaxScale;
    if (factor < kMinScale) return kMinScale;
    return static_cast<int>(factor);
}

int resolveEditorScale(double hostScale, double system) {
    if (const char* forced = std::getenv("HALVORINE_SCALE"))
        if (const int s = wholeScale(parseFactor(forced))) return s;
    if (const int s = wholeScale(hostScale)) return s;
    if (const int s = wholeScale(system)) return s;
    return 1;
}

EditorSize editorSizeAt(int scale, EditorVariant variant) {
    const int s = scale < kMinScale ? kMinScale : scale > kMaxScale ? kMaxScale : scale;
    return {TPluginEditorWindow::kWidth * s, TPluginEditorWindow::heightOf(variant) * s};
}

}  // namespace halvorine::editor
