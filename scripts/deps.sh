#!/bin/sh
# Installs every build and test dependency that is missing, and nothing else.
# Quick when everything is present: it only asks dpkg.
#
# What it installs, and from where:
# - from the machine's own Debian release (apt-get install): CMake, make, g++
#   and clang with clang's sanitizer and fuzzer runtimes, pkg-config and
#   GoogleTest; libcurl, Python, OpenSSL and mktorrent for plixctl and its
#   end-to-end tests; mpv and its plug-in header (libmpv-dev) for the mpv
#   plug-in and its tests; libmicrohttpd, expat, libcrypt and GnuTLS for plixd,
#   with rclone and htpasswd (apache2-utils) for its tests; with "windows",
#   the mingw-w64 cross compiler and Wine; with "bench", Google Benchmark and
#   wrk;
# - yyjson, the one library the plug-in links (libyyjson-dev and its runtime
#   package libyyjson0), from the next Debian release's suite: Debian 12 has
#   no yyjson package, and the next release's builds install on it as they
#   are. Only the yyjson version in yyjson_version below is accepted; the
#   plug-in is built and tested against it, so another one stops the script
#   until someone has checked it and moved the pin.
#
#   deps.sh                     the native build and tests
#   deps.sh windows             the same, plus the mingw-w64 cross compiler and
#                               Wine for the Windows build and its tests
#   deps.sh yyjson-source DIR   downloads yyjson's Debian source package (from
#                               the next suite) into DIR, for the cross build
#   deps.sh bench               the native build, plus Google Benchmark for
#                               make bench
#
# yyjson is not in this release's archive, so its two packages come from the
# next Debian release's suite. They are fetched with a private apt state
# (sources, lists and cache under the build tree), so the machine's own apt
# configuration is never changed; the archive address is read from the
# machine's existing apt sources.
set -eu

here=$(cd "$(dirname "$0")/.." && pwd)
state="$here/build/.apt-next"
next_suite=${PLIX_NEXT_SUITE:-trixie}
# The yyjson release the plug-in is built and tested with (upstream version).
yyjson_version=0.10.0

# Packages from the machine's own suite, by the groups that need them.
core_pkgs="cmake make g++ clang pkg-config googletest libgtest-dev"
windows_pkgs="g++-mingw-w64-x86-64-posix wine64"
# plixctl's libcurl transport, and its end-to-end tests' HTTPS test service.
host_pkgs="libcurl4-openssl-dev python3 openssl mktorrent"
# The mpv plug-in: the player itself, and the header it is built against.
mpv_pkgs="mpv libmpv-dev"
# plixd: its HTTP server, XML reader, password checks and MACs; the clients and
# the password tool of its tests.
plixd_pkgs="libmicrohttpd-dev libexpat1-dev libcrypt-dev libgnutls28-dev rclone apache2-utils"
# clang's sanitizer and libFuzzer runtimes (the asan and tsan presets).
sanitizer_pkgs="libclang-rt-14-dev"
bench_pkgs="libbenchmark-dev wrk"
extra_pkgs=${PLIX_EXTRA_PKGS:-}

sudo_() { if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi; }

missing() {
    out=""
    for p in "$@"; do
        s=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
        [ "$s" = installed ] || out="$out $p"
    done
    echo "$out"
}

# The archive URI of the main Debian suite, from deb822 or one-line sources.
archive_uri() {
    uri=""
    for f in /etc/apt/sources.list.d/*.sources; do
        [ -f "$f" ] || continue
        uri=$(awk '/^URIs:/ {print $2; exit}' "$f" | grep -v -- '-security' || true)
        [ -n "$uri" ] && break
    done
    if [ -z "$uri" ]; then
        uri=$(cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null |
              awk '$1 == "deb" && $2 !~ /security/ {print $2; exit}')
    fi
    [ -n "$uri" ] || { echo "deps: no Debian archive in the apt sources" >&2; exit 1; }
    echo "$uri"
}

# The upstream part of a Debian version: "0.10.0+ds-1+b1" gives "0.10.0".
upstream() { echo "$1" | sed -e 's/^[0-9]*://' -e 's/[+~-].*$//'; }

# Stops unless version (a Debian version of yyjson) is the pinned release.
check_yyjson() {
    got=$(upstream "$1")
    [ "$got" = "$yyjson_version" ] && return 0
    echo "deps: yyjson $got ($2) is not the release plix is built and tested with," \
        "$yyjson_version; check it and update yyjson_version in scripts/deps.sh" >&2
    exit 1
}

# Private apt for the next suite: its own sources, lists and cache. The first
# argument is the apt tool to run (apt-get or apt-cache).
next_apt() {
    tool=$1; shift
    mkdir -p "$state/lists/partial" "$state/cache/archives/partial" "$state/etc"
    uri=$(archive_uri)
    printf 'deb %s %s main\ndeb-src %s %s main\n' "$uri" "$next_suite" "$uri" "$next_suite" \
        >"$state/etc/sources.list"
    sandbox=""
    [ "$(id -u)" = 0 ] && sandbox="-o APT::Sandbox::User=root"
    # shellcheck disable=SC2086
    "$tool" -q $sandbox \
        -o Dir::Etc::sourcelist="$state/etc/sources.list" \
        -o Dir::Etc::sourceparts=/nonexistent \
        -o Dir::State::Lists="$state/lists" \
        -o Dir::Cache="$state/cache" \
        -o Dir::State::status=/var/lib/dpkg/status \
        -o APT::Get::List-Cleanup=0 \
        "$@"
}

# yyjson's upstream tarball (the source package's orig tarball), for a build
# with another toolchain. Only the orig tarball is needed; the archive may not
# serve the package's other files, so apt's verdict on those is not fatal. The
# lists are refreshed when they hold no source index yet, or when the lists
# there are do not lead to the tarball (they may name a version no longer
# served).
fetch_source() {
    dest=$1
    mkdir -p "$dest"
    dest=$(cd "$dest" && pwd)
    log="$dest/apt-source.log"
    if ! ls "$state"/lists/*_source_Sources* >/dev/null 2>&1; then
        next_apt apt-get update >/dev/null
    fi
    for try in 1 2; do
        offered=$(next_apt apt-cache showsrc yyjson 2>/dev/null | awk '/^Version:/ {print $2; exit}')
        [ -z "$offered" ] || check_yyjson "$offered" "the $next_suite suite's source package"
        (cd "$dest" && next_apt apt-get source --download-only yyjson) >"$log" 2>&1 || true
        if ls "$dest"/yyjson_*.orig.tar.* >/dev/null 2>&1; then return 0; fi
        [ "$try" = 2 ] || next_apt apt-get update >/dev/null
    done
    cat "$log" >&2
    echo "deps: no yyjson orig tarball from the $next_suite suite" >&2
    exit 1
}

case "${1:-}" in
"") ;;
windows) extra_pkgs="$extra_pkgs $windows_pkgs" ;;
bench) extra_pkgs="$extra_pkgs $bench_pkgs" ;;
yyjson-source)
    [ $# = 2 ] || { echo "usage: deps.sh yyjson-source DIR" >&2; exit 2; }
    fetch_source "$2"
    exit 0
    ;;
*) echo "usage: deps.sh [windows | bench | yyjson-source DIR]" >&2; exit 2 ;;
esac

pkgs=$(missing $core_pkgs $host_pkgs $mpv_pkgs $plixd_pkgs $sanitizer_pkgs $extra_pkgs)
if [ -n "$pkgs" ]; then
    echo "deps: installing$pkgs"
    sudo_ apt-get -o DPkg::Lock::Timeout=600 update -q
    DEBIAN_FRONTEND=noninteractive sudo_ apt-get -o DPkg::Lock::Timeout=600 install -y -q \
        --no-install-recommends $pkgs
fi

if [ -n "$(missing libyyjson-dev)" ]; then
    echo "deps: fetching yyjson from the $next_suite suite"
    next_apt apt-get update >/dev/null
    offered=$(next_apt apt-cache show libyyjson-dev 2>/dev/null | awk '/^Version:/ {print $2; exit}')
    [ -n "$offered" ] || { echo "deps: the $next_suite suite has no libyyjson-dev" >&2; exit 1; }
    check_yyjson "$offered" "offered by the $next_suite suite"
    dl="$state/debs"
    rm -rf "$dl" && mkdir -p "$dl"
    # The runtime package's name carries the soname; ask the index for it.
    rt=$(next_apt apt-cache show libyyjson-dev 2>/dev/null | awk -F': ' '/^Depends:/ {print $2; exit}' |
         tr ',' '\n' | awk '{print $1}' | grep '^libyyjson[0-9]' | head -1)
    [ -n "$rt" ] || { echo "deps: cannot find yyjson's runtime package" >&2; exit 1; }
    (cd "$dl" && next_apt apt-get download libyyjson-dev "$rt" >/dev/null)
    sudo_ dpkg -i "$dl"/*.deb >/dev/null
fi
check_yyjson "$(dpkg-query -W -f='${Version}' libyyjson-dev)" "installed"
