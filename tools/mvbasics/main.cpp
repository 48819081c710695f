// mvbasics: the library's command-line tool and demo host.
#include <cstdio>
#include <cstring>

#include "mvbasics.h"

namespace {

int Usage() {
    std::fprintf(stderr, "usage: mvbasics demo\n");
    return 2;
}

int Demo() {
    std::printf("Merivane Basics demo\n");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    if (std::strcmp(argv[1], "demo") == 0) return Demo();
    return Usage();
}
