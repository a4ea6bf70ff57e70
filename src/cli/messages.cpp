#include "cli/messages.h"

#include <cstdio>

namespace {

std::string g_program = "zkpapertoollpr";

}  // namespace

void set_program_name(const char* argv0) {
    const std::string name = argv0 ? argv0 : "";
    const std::string base = name.substr(name.rfind('/') + 1);
    if (!base.empty()) g_program = base;
}

void diagnose(const std::string& what, const std::string& why) {
    std::fprintf(stderr, "%s: %s: %s\n", g_program.c_str(), what.c_str(), why.c_str());
}
