# plix_read_export_list(LIST OUT): the exported names of the export list
# file LIST (its PLIX_EXPORT(name, member) lines), in order, into OUT.
# Included by the build and by the export checks of the tests.
function(plix_read_export_list list out)
    file(STRINGS ${list} lines REGEX "^PLIX_EXPORT\\(")
    set(names)
    foreach(line IN LISTS lines)
        string(REGEX REPLACE "^PLIX_EXPORT\\(([A-Za-z_0-9]+),.*$" "\\1" name "${line}")
        list(APPEND names ${name})
    endforeach()
    set(${out} ${names} PARENT_SCOPE)
endfunction()

# plix_check_exports(LIST NAME...): stops with both lists shown unless the
# names a binary exports (NAME...) are exactly those of the export list
# file LIST.
function(plix_check_exports list)
    set(got ${ARGN})
    list(SORT got)
    plix_read_export_list(${list} expected)
    list(SORT expected)
    if(NOT got STREQUAL expected)
        message(FATAL_ERROR "exported names differ\n  got:      ${got}\n  expected: ${expected}")
    endif()
endfunction()
