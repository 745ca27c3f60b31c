// The editor window's layout description: a small text format of ours,
// embedded in the library and read when the window is created.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "canvas.h"

namespace halvorine::editor {

enum class ComponentKind { Form, Picture, Panel, Timer, ImageList };

struct ComponentDesc {
    ComponentKind kind = ComponentKind::Picture;
    std::string name;
    Rect bounds;                // left/top only for placed components
    bool hidden = false;
    bool transparent = false;
    std::string parent;         // empty: the form
    std::string image;          // an embedded picture's name
    std::optional<Pixel> colour;
    int interval = 0;           // timers, in milliseconds
    std::map<std::string, std::string> handlers;  // event -> handler name
};

struct Layout {
    std::vector<ComponentDesc> components;  // bottom to top
    const ComponentDesc* find(std::string_view name) const;
};

// Parses a description; on a malformed line returns nothing and says why.
std::optional<Layout> parseLayout(std::string_view text, std::string* error = nullptr);

// The window's own description, embedded at build time.
std::string_view editorLayoutText();
// The carrier row's, added to it in the editors of the formats that have
// the carrier synth: its components go on top of the window's, and its form
// line gives the window's new size.
std::string_view carrierRowLayoutText();

}  // namespace halvorine::editor
