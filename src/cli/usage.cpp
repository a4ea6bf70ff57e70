#include "cli/usage.h"

#include <cstdio>

#include "label/models.h"

namespace {

// CMake passes the project's version, so the usage screen, --version and the package
// cannot drift apart.
#ifndef ZKPAPERTOOL_VERSION
#error "ZKPAPERTOOL_VERSION (major.minor) must come from the build"
#endif
constexpr const char* kVersion = "v " ZKPAPERTOOL_VERSION;

// The driver package's own wording, spelling included; do not correct it.
constexpr const char* kUsageLines[] = {
    " Usage: zkpapertoollpr_xxxx -P Printer Name [-n add a Lable Format Name (<=32 bytes) "
    "-w Media Width(unit:mm) -h Media Height(unit:mm)]/[-d delete Lable Format Name]\n",
    " **Label width is  3.5mm,6mm,9mm,12mm,18mm,24mm,36mm and Height is between 4mm and "
    "1000mm(HS tape max is 500mm)\n",
    " For example:\n",
    " 1. Add a new Label Format with \"New Label Format\" name and 12mm width and 50mm "
    "length:\n",
};

}  // namespace

std::string usage_text(const FormatRequest& request) {
    const std::string& dir = request.model_dir;
    const std::string printer = display_name(dir);
    const std::string rule = "===========================\n";

    std::string text = rule;
    text += std::string(" LPRng Paper Size Tool (") + kVersion + ")\t" +
            "Adds and deletes custom label formats; --list shows them.\n";
    for (const char* line : kUsageLines) text += line;
    text += "\t\"zkpapertoollpr_" + dir + " -P " + printer +
            " -n New\\ Label Namw (\"HS\" contain name means heat srink tube "
            "ex.HS12mmx50mm)\\ Format -w 12 -h 50\" [enter]\n\n";
    text += " 2. Remove the Label Format with \"New Label Format\" name:\n";
    text +=
        "\t\"zkpapertoollpr_" + dir + " -P " + printer + " -d New\\ Label\\ Format\" [enter]\n\n";
    text += rule;
    return text;
}

std::string version_text() { return std::string("zkpapertoollpr ") + kVersion + "\n"; }

void print_usage(const FormatRequest& request) { std::fputs(usage_text(request).c_str(), stdout); }
