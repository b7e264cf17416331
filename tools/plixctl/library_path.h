// Where plixctl finds the plug-in it loads when --library is not given.
#pragma once

#include <string>

// The library beside the executable (the build tree), else the one in the
// installed tree's library folder.
std::string default_library_path();
