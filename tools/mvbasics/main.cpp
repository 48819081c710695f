// mvbasics: the library's command-line tool and demo host.
#include "cli.h"

int main(int argc, char** argv) {
    CLI::App app;
    mvtool::BuildApp(app);
    return mvtool::RunApp(app, argc, argv);
}
