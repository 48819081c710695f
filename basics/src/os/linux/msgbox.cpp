// Linux backend: message boxes. No windowing system is assumed: the default presenter
// writes the box to standard error and answers OK; a host may install its own.
#include <atomic>
#include <cstdio>
#include <cstring>

#include "os/os.h"

namespace mvos {

namespace {

std::atomic<BoxPresenter> g_presenter{nullptr};

int PresentOnStderr(const char* title, uint32_t, const char* text) {
    std::fprintf(stderr, "+---- %s\n", title != nullptr ? title : "");
    const char* line = text != nullptr ? text : "";
    while (true) {
        const char* end = std::strchr(line, '\n');
        size_t n = end != nullptr ? static_cast<size_t>(end - line) : std::strlen(line);
        std::fprintf(stderr, "| %.*s\n", static_cast<int>(n), line);
        if (end == nullptr) break;
        line = end + 1;
    }
    std::fprintf(stderr, "+----\n");
    std::fflush(stderr);
    return kIdOk;
}

}  // namespace

int MessageBox(const char* text, const char* title, uint32_t style) {
    BoxPresenter presenter = g_presenter.load();
    return presenter != nullptr ? presenter(title, style, text)
                                : PresentOnStderr(title, style, text);
}

BoxPresenter SetBoxPresenter(BoxPresenter presenter) {
    return g_presenter.exchange(presenter);
}

}  // namespace mvos
