// The plug-in as plixctl sees it: a library loaded by path at run time and
// reached only through its exported functions.
#pragma once

#include <string>

#include "plix.h"
#include "plix_fake.h"

struct plugin {
    // One pointer per export of the plug-in's list, named by its member name.
#define PLIX_EXPORT(name, member) decltype(&name) member = nullptr;
#include "plix_export_list.h"
#undef PLIX_EXPORT

    // Loads the library at path and binds every export above. On failure
    // error says why, in one line.
    bool load(const std::string &path, std::string &error);
};

// The library plixctl loads when --library is not given: the one beside the
// executable (the build tree), else the one in the installed tree's library
// folder.
std::string default_library_path();
