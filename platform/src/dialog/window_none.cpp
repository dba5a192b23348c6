// The window rendering of a build without a window toolkit: it never opens,
// so every dialog uses the text rendering.
#include "dialog_internal.h"

namespace plat::dialog {

const Backend& WindowBackend() {
    static const Backend backend = [] {
        Backend b = TextBackend();
        b.rendering = DialogRendering::Window;
        b.open = [](const std::shared_ptr<Dialog::Core>&) { return false; };
        return b;
    }();
    return backend;
}

}  // namespace plat::dialog
