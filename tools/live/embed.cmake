# Turns the demo account's JSON file into a C++ source that holds its text,
# so plixctl carries the demo account with it.
#   cmake -DINPUT=demo-account.json -DOUTPUT=demo_account.cpp -P embed.cmake
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" digits)
set(lines "")
set(at 0)
while(at LESS digits)
    string(SUBSTRING "${hex}" ${at} 64 chunk)
    string(REGEX REPLACE "(..)" "\\\\x\\1" chunk "${chunk}")
    string(APPEND lines "    \"${chunk}\"\n")
    math(EXPR at "${at} + 64")
endwhile()
get_filename_component(name "${INPUT}" NAME)
file(WRITE "${OUTPUT}.tmp" "// Generated from ${name}; do not edit.\n#include \"fixture.h\"\n\nconst char kDemoAccount[] =\n${lines}    \"\";\n")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
