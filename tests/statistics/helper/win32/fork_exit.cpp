// Windows: no process is a copy of another, so "forkexit" has nothing to do.
#include <string>

std::string ForkExit() {
    return "no fork";
}
