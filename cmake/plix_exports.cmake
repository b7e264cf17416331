# The export list (src/platform/plix_export_list.h) as CMake sees it:
# PLIX_EXPORT_NAMES, and the linker's version script plix.map and the
# module-definition file plix.def made from it in the build tree. Both are
# rewritten only when the list changes.
set(PLIX_EXPORT_LIST ${CMAKE_CURRENT_LIST_DIR}/../src/platform/plix_export_list.h)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PLIX_EXPORT_LIST})

include(${CMAKE_CURRENT_LIST_DIR}/plix_read_export_list.cmake)

plix_read_export_list(${PLIX_EXPORT_LIST} PLIX_EXPORT_NAMES)

list(JOIN PLIX_EXPORT_NAMES ";\n        " map_names)
file(CONFIGURE OUTPUT ${PROJECT_BINARY_DIR}/plix.map CONTENT
"/* The plug-in's export list, made from plix_export_list.h: everything else stays local. */
{
    global:
        ${map_names};
    local: *;
};
")
list(JOIN PLIX_EXPORT_NAMES "\n    " def_names)
file(CONFIGURE OUTPUT ${PROJECT_BINARY_DIR}/plix.def CONTENT
"LIBRARY plix.dll
EXPORTS
    ${def_names}
")
