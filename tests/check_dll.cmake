# Reads the export and import tables of the Windows DLL LIBRARY with OBJDUMP:
# the exports must be exactly the names of the export list EXPECTED, and every imported DLL
# must be a system DLL (KERNEL32 or the C runtime), so that the plug-in loads
# on a bare Windows with nothing installed beside it. With IMPORTS_ONLY (for
# plixctl.exe) only the imports are checked, and the system's HTTP, crypto
# and shell DLLs count as system DLLs too.
execute_process(COMMAND ${OBJDUMP} -p ${LIBRARY} OUTPUT_VARIABLE out RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${OBJDUMP} failed on ${LIBRARY}")
endif()
string(REGEX MATCHALL "[^\n]+" lines "${out}")

# The names follow the "[Ordinal/Name Pointer] Table" heading, one a line
# as "[   n] name", up to the first line of another shape.
set(names)
set(in_names FALSE)
set(imports)
foreach(line IN LISTS lines)
    if(line MATCHES "^\\[Ordinal/Name Pointer\\] Table")
        set(in_names TRUE)
    elseif(in_names AND line MATCHES "^[ \t]+\\[ *[0-9]+\\] ([^ ]+)$")
        list(APPEND names "${CMAKE_MATCH_1}")
    elseif(in_names)
        set(in_names FALSE)
    endif()
    if(line MATCHES "^[ \t]+DLL Name: (.+)$")
        list(APPEND imports "${CMAKE_MATCH_1}")
    endif()
endforeach()

if(NOT IMPORTS_ONLY)
    include(${CMAKE_CURRENT_LIST_DIR}/../cmake/plix_read_export_list.cmake)
    plix_check_exports(${EXPECTED} ${names})
endif()
set(system "kernel32|msvcrt|ucrtbase|api-ms-win-crt-[a-z0-9-]+")
if(IMPORTS_ONLY)
    string(APPEND system "|winhttp|crypt32|shell32")
endif()

if(NOT imports)
    message(FATAL_ERROR "no import table found in ${LIBRARY}")
endif()
set(foreign)
foreach(dll IN LISTS imports)
    string(TOLOWER "${dll}" lower)
    if(NOT lower MATCHES "^(${system})\\.dll$")
        list(APPEND foreign "${dll}")
    endif()
endforeach()
if(foreign)
    message(FATAL_ERROR "imports DLLs that are not part of Windows: ${foreign}")
endif()

list(LENGTH names n)
message(STATUS "${n} exports; imports ${imports}")
