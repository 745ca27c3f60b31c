// What the editor window needs from whoever owns it: somewhere to send the
// values the user sets, and the start and end of each slider gesture. The
// VST 2 binding forwards these to the effect and its host; other bindings
// send them to their own hosts.
#pragma once

namespace halvorine::editor {

class EditorOwner {
public:
    // The user set parameter `index` (0..8) to `value` (0..1).
    virtual void setParameterAutomated(int index, float value) = 0;
    // A gesture on parameter `index` begins (press) or ends (release).
    virtual void beginEdit(int index) = 0;
    virtual void endEdit(int index) = 0;

protected:
    ~EditorOwner() = default;
};

}  // namespace halvorine::editor
