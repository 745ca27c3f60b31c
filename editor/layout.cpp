#include "layout.h"

#include <charconv>
#include <sstream>

namespace halvorine::editor {
namespace {

bool parseInts(std::string_view text, char separator, int* out, int count) {
    for (int i = 0; i < count; ++i) {
        const std::size_t end = i + 1 < count ? text.find(separator) : text.size();
        if (end == std::string_view::npos) return false;
        const std::string_view part = text.substr(0, end);
        const auto [ptr, ec] = std::from_chars(part.data(), part.data() + part.size(), out[i]);
        if (ec != std::errc() || ptr != part.data() + part.size()) return false;
        text.remove_prefix(i + 1 < count ? end + 1 : end);
    }
    return true;
}

std::optional<ComponentKind> kindOf(std::string_view word) {
    if (word == "form") return ComponentKind::Form;
    if (word == "picture") return ComponentKind::Picture;
    if (word == "panel") return ComponentKind::Panel;
    if (word == "timer") return ComponentKind::Timer;
    if (word == "imagelist") return ComponentKind::ImageList;
    return std::nullopt;
}

bool applyToken(ComponentDesc& c, const std::string& token) {
    if (token == "hidden") return c.hidden = true;
    if (token == "transparent") return c.transparent = true;
    const std::size_t eq = token.find('=');
    if (eq == std::string::npos || eq == 0 || eq + 1 == token.size()) return false;
    const std::string key = token.substr(0, eq);
    const std::string value = token.substr(eq + 1);
    if (key == "bounds") {
        int v[4];
        if (!parseInts(value, ',', v, 4) || v[2] < 0 || v[3] < 0) return false;
        c.bounds = {v[0], v[1], v[2], v[3]};
    } else if (key == "size") {
        int v[2];
        if (!parseInts(value, 'x', v, 2) || v[0] < 0 || v[1] < 0) return false;
        c.bounds.width = v[0];
        c.bounds.height = v[1];
    } else if (key == "colour") {
        int v[3];
        if (!parseInts(value, ',', v, 3)) return false;
        for (int x : v)
            if (x < 0 || x > 255) return false;
        c.colour = rgb(static_cast<unsigned>(v[0]), static_cast<unsigned>(v[1]),
                       static_cast<unsigned>(v[2]));
    } else if (key == "interval") {
        int v;
        if (!parseInts(value, ',', &v, 1) || v <= 0) return false;
        c.interval = v;
    } else if (key == "image") {
        c.image = value;
    } else if (key == "parent") {
        c.parent = value;
    } else if (key.size() > 2 && key.compare(0, 2, "on") == 0) {
        c.handlers[key.substr(2)] = value;
    } else {
        return false;
    }
    return true;
}

}  // namespace

const ComponentDesc* Layout::find(std::string_view name) const {
    for (const auto& c : components)
        if (c.name == name) return &c;
    return nullptr;
}

std::optional<Layout> parseLayout(std::string_view text, std::string* error) {
    Layout layout;
    std::istringstream lines{std::string(text)};
    std::string line;
    int number = 0;
    const auto fail = [&](const std::string& why) -> std::optional<Layout> {
        if (error) *error = "line " + std::to_string(number) + ": " + why;
        return std::nullopt;
    };
    while (std::getline(lines, line)) {
        ++number;
        if (const std::size_t hash = line.find('#'); hash != std::string::npos) line.resize(hash);
        std::istringstream words(line);
        std::string kindWord, name, token;
        if (!(words >> kindWord)) continue;
        const auto kind = kindOf(kindWord);
        if (!kind) return fail("unknown kind '" + kindWord + "'");
        if (!(words >> name)) return fail("a component needs a name");
        if (layout.find(name)) return fail("'" + name + "' is named twice");
        ComponentDesc c;
        c.kind = *kind;
        c.name = name;
        while (words >> token)
            if (!applyToken(c, token)) return fail("cannot read '" + token + "'");
        if (!c.parent.empty() && !layout.find(c.parent))
            return fail("parent '" + c.parent + "' is not defined above '" + name + "'");
        layout.components.push_back(std::move(c));
    }
    return layout;
}

}  // namespace halvorine::editor
