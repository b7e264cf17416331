#!/bin/sh
# Instruction counts of every case under callgrind: the plug-in, its floors
# B1 and B2 (where the case has them) and the baseline, per call, and the
# plug-in's ratio to each. Slow (each case runs under the
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

ir() {  # side case calls; prints nothing when the case has no such side
    rm -f "$out/cg"
    valgrind --tool=callgrind --callgrind-out-file="$out/cg" --instr-atstart=no \
        "$bin" --plix_run="$1/$2:$3" >/dev/null 2>&1 || return 0
    awk '/^totals:/ {print $2}' "$out/cg"
}

printf '%-20s %13s %13s %13s %13s %7s %7s %7s\n' case "plug-in Ir" "B1 Ir" "B2 Ir" \
    "baseline Ir" /B1 /B2 /base
for c in $cases; do
    n=$(calls_of "$c")
    p=$(ir plugin "$c" "$n")
    f1=$(ir floor1 "$c" "$n")
    f2=$(ir floor2 "$c" "$n")
    b=$(ir baseline "$c" "$n")
    awk -v c="$c" -v p="$p" -v f1="${f1:-0}" -v f2="${f2:-0}" -v b="$b" -v n="$n" '
        function r(x) { return x > 0 ? sprintf("%.2fx", p / x) : "" }
        BEGIN { printf "%-20s %13.0f %13.0f %13.0f %13.0f %7s %7s %7s\n", c, p / n, f1 / n,
                f2 / n, b / n, r(f1), r(f2), r(b) }'
done
