# plix_read_export_list(LIST OUT): the exported names of the export list
# file LIST (its PLIX_EXPORT(name, member) lines), in order, into OUT.
function(plix_read_export_list list out)
    file(STRINGS ${list} lines REGEX "^PLIX_EXPORT\\(")
    set(names)
    foreach(line IN LISTS lines)
        string(REGEX REPLACE "^PLIX_EXPORT\\(([A-Za-z_0-9]+),.*$" "\\1" name "${line}")
        list(APPEND names ${name})
    endforeach()
    set(${out} ${names} PARENT_SCOPE)
endfunction()
