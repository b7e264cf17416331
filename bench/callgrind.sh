#!/bin/sh
# Instruction counts of every case under callgrind: the plug-in side and the
# baseline side, per call, and their ratio. Slow (each case runs under the
# simulator) but untouched by the machine's load, so it settles a ratio that
# the timings leave in doubt.
#
#   bench/callgrind.sh [build/bench/bench/plix_bench] [case ...]
set -eu
bin=${1:-build/bench/bench/plix_bench}
[ $# -gt 0 ] && shift
cases=${*:-"downloader_50 downloader_65536 seedbox_10000 torrent_65536 validate stream_url
    download_magnet settings_1mib season_10000 redact_2kib"}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

calls_of() {
    case $1 in
        downloader_65536|seedbox_10000|torrent_65536) echo 2 ;;
        settings_1mib|season_10000|downloader_50) echo 20 ;;
        *) echo 200 ;;
    esac
}

ir() {  # side case calls
    valgrind --tool=callgrind --callgrind-out-file="$out/cg" --instr-atstart=no \
        "$bin" --plix_run="$1/$2:$3" >/dev/null 2>&1
    awk '/^totals:/ {print $2}' "$out/cg"
}

printf '%-20s %14s %14s %8s\n' case "plug-in Ir" "baseline Ir" ratio
for c in $cases; do
    n=$(calls_of "$c")
    p=$(ir plugin "$c" "$n")
    b=$(ir baseline "$c" "$n")
    awk -v c="$c" -v p="$p" -v b="$b" -v n="$n" \
        'BEGIN { printf "%-20s %14.0f %14.0f %7.2fx\n", c, p / n, b / n, p / b }'
done
