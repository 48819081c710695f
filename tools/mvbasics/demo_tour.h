// The sections of the demo's guided tour.
#ifndef MV_TOOLS_DEMO_TOUR_H
#define MV_TOOLS_DEMO_TOUR_H

#include <string>

namespace mvtool {

// Bold titles and dim notes on a terminal; plain text when piped or with NO_COLOR.
struct TourStyle {
    const char* bold = "";
    const char* dim = "";
    const char* reset = "";
    static TourStyle ForStdout();
};

// Runs every section; the library's registry and event file already point into the
// scratch folder. 0, or 1 when a section failed.
int RunTour(const TourStyle& style, const std::string& scratch, const std::string& iniPath);

}  // namespace mvtool

#endif
