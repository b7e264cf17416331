# yyjson and GoogleTest for the target, built with this build's toolchain
# into a prefix inside the build tree, before the project looks for them:
#   yyjson      from the upstream tarball of Debian's source package of the
#               next release (scripts/deps.sh yyjson-source fetches it);
#   GoogleTest  from Debian's googletest sources (/usr/src/googletest).
# Each is built once per build tree; delete deps/ to build them again.

set(PLIX_DEPS_DIR ${CMAKE_BINARY_DIR}/deps)
set(PLIX_DEPS_PREFIX ${PLIX_DEPS_DIR}/prefix)
set(PLIX_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources for the cross build")

# Runs a command quietly; on failure shows its output and stops.
function(plix_deps_run what)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "${what} failed:\n${out}")
    endif()
endfunction()

# Configures, builds and installs the CMake project in source into the prefix.
function(plix_deps_build name source)
    message(STATUS "Building ${name} for ${CMAKE_SYSTEM_NAME} into ${PLIX_DEPS_PREFIX}")
    set(build ${PLIX_DEPS_DIR}/${name}-build)
    cmake_host_system_information(RESULT jobs QUERY NUMBER_OF_LOGICAL_CORES)
    plix_deps_run("configuring ${name}" ${CMAKE_COMMAND} -S ${source} -B ${build}
        -G ${CMAKE_GENERATOR} -DCMAKE_TOOLCHAIN_FILE=${CMAKE_TOOLCHAIN_FILE}
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=${PLIX_DEPS_PREFIX}
        -DCMAKE_INSTALL_LIBDIR=lib ${ARGN})
    plix_deps_run("building ${name}" ${CMAKE_COMMAND} --build ${build} --parallel ${jobs})
    plix_deps_run("installing ${name}" ${CMAKE_COMMAND} --install ${build})
endfunction()

if(NOT EXISTS ${PLIX_DEPS_PREFIX}/lib/cmake/yyjson/yyjson-config.cmake)
    set(download ${PLIX_DEPS_DIR}/yyjson-download)
    file(REMOVE_RECURSE ${download} ${PLIX_DEPS_DIR}/yyjson-src ${PLIX_DEPS_DIR}/yyjson-build)
    message(STATUS "Fetching yyjson's source package")
    plix_deps_run("fetching yyjson's source package"
        sh ${PROJECT_SOURCE_DIR}/scripts/deps.sh yyjson-source ${download})
    file(GLOB tarball ${download}/yyjson_*.orig.tar.*)
    file(ARCHIVE_EXTRACT INPUT ${tarball} DESTINATION ${PLIX_DEPS_DIR}/yyjson-src)
    # The tarball holds one top directory, named after the upstream commit.
    file(GLOB top LIST_DIRECTORIES true ${PLIX_DEPS_DIR}/yyjson-src/*)
    plix_deps_build(yyjson ${top} -DBUILD_SHARED_LIBS=OFF -DYYJSON_BUILD_TESTS=OFF)
endif()

if(PLIX_TESTS AND NOT EXISTS ${PLIX_DEPS_PREFIX}/lib/cmake/GTest/GTestConfig.cmake)
    file(REMOVE_RECURSE ${PLIX_DEPS_DIR}/gtest-build)
    plix_deps_build(gtest ${PLIX_GTEST_SOURCE} -DBUILD_GMOCK=OFF -DINSTALL_GTEST=ON
        -Dgtest_disable_pthreads=ON)
endif()

list(APPEND CMAKE_FIND_ROOT_PATH ${PLIX_DEPS_PREFIX})
list(APPEND CMAKE_PREFIX_PATH ${PLIX_DEPS_PREFIX})
