// Windows backend: message boxes are the system's; a host may install its own
// presenter.
#include "os/win32/system.h"

#include <atomic>

#include "os/os.h"

namespace mvos {

namespace {
std::atomic<BoxPresenter> g_presenter{nullptr};
}  // namespace

int MessageBox(const char* text, const char* title, uint32_t style) {
    BoxPresenter presenter = g_presenter.load();
    if (presenter != nullptr) return presenter(title, style, text);
    return ::MessageBoxA(nullptr, text != nullptr ? text : "", title != nullptr ? title : "",
                         style);
}

BoxPresenter SetBoxPresenter(BoxPresenter presenter) {
    return g_presenter.exchange(presenter);
}

}  // namespace mvos
