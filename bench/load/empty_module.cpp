// The smallest C++ shared object with a static constructor: what loading any C++
// module costs, as a baseline for the library's own load.
#include <string>

namespace {
struct Started {
    Started() : name("empty") {}
    std::string name;
} g_started;
}  // namespace

extern "C" __attribute__((visibility("default"))) const char* EmptyModuleName() {
    return g_started.name.c_str();
}
