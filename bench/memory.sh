#!/usr/bin/env bash
# The resident memory of a headless station recording 16 cameras: starts kel with the simulated
# board, every camera active and recorded continuously to drive C:, samples its resident set from
# /proc once a second for the run (printing one sample a minute), then stops it with SIGTERM and
# prints the first sample after start-up, the peak and the last sample. One run for each size.
#
# Usage: bench/memory.sh [seconds] [sizes]      (default 600, "352x288 704x576")
#   KEL_BINARY   the kel to run (default: build/kel)
#   KEL_WORKDIR  where the station runs and records (default: a temporary folder, removed after)
# Limits: under 250 MB resident, and flat over the run (the batch slots, frame banks and codec
# buffers are taken once).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-600}"
sizes="${2:-352x288 704x576}"
kel="${KEL_BINARY:-$root/build/kel}"
[ -x "$kel" ] || { echo "memory: no kel at $kel (set KEL_BINARY)" >&2; exit 2; }

work="${KEL_WORKDIR:-}"
if [ -z "$work" ]; then
    work="$(mktemp -d)"
    trap 'rm -rf "$work"' EXIT
fi
run_size() {
    local size="$1" code
    case "$size" in 704x576) code=0 ;; 352x288) code=2 ;; *) echo "memory: size $size?" >&2; exit 2 ;; esac
    rm -rf "$work/station" "$work/run" "$work/registry.sqlite"
    mkdir -p "$work/station" "$work/run"
    chmod 700 "$work/run"
    registry="$work/registry.sqlite"

    # Bytes as .reg hex: "01,00,…".
    hex() { local out="" b; for b in "$@"; do out+="$(printf '%02x,' "$b")"; done; printf '%s' "${out%,}"; }
    le32() { hex $(($1 & 255)) $((($1 >> 8) & 255)) $((($1 >> 16) & 255)) $((($1 >> 24) & 255)); }
    # One 64-byte camera record: name "Kamera n", active, resolution $code, 3 FPS, the picture controls
    # at their defaults.
    camera() {
        local name="Kamera $1" bytes=() i
        bytes+=(${#name})
        for ((i = 0; i < 30; i++)); do
            if ((i < ${#name})); then bytes+=("$(printf '%d' "'${name:i:1}")"); else bytes+=(0); fi
        done
        printf '%s,01,%s,%s,%s,%s,%s,%s,%s,%s' "$(hex "${bytes[@]}")" "$(le32 "$code")" "$(le32 3)" "$(le32 0)" \
            "$(le32 128)" "$(le32 0)" "$(le32 128)" "$(le32 128)" "$(le32 0)"
    }
    cameras=""
    for n in $(seq 1 16); do cameras+="$(camera "$n"),"; done
    scheduler="$(printf '01,%.0s' $(seq 1 2688))"
    drives="01$(printf ',00%.0s' $(seq 1 24))"
    {
        printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\KEL2]\r\n'
        printf '"Cameras"=hex:%s\r\n' "${cameras%,}"
        printf '"Scheduler"=hex:%s\r\n' "${scheduler%,}"
        printf '"HDDs"=hex:%s\r\n' "$drives"
        printf '"AutoLogin"=dword:00000001\r\n'
    } >"$work/station.reg"
    "$kel" --registry "$registry" reg defaults
    "$kel" --registry "$registry" reg import "$work/station.reg"
    # The skins built beside the binary, or installed with it.
    for skins in "$(dirname "$kel")/Skins" "$(dirname "$kel")/../share/kel/Skins"; do
        if [ -d "$skins" ] && [ ! -e "$work/station/Skins" ]; then
            ln -s "$(cd "$skins" && pwd)" "$work/station/Skins"
        fi
    done

    XDG_RUNTIME_DIR="$work/run" "$kel" --headless --yes --workdir "$work/station" --registry "$registry" \
        --serial "$work/no-such-tty" >"$work/out.txt" 2>"$work/err.txt" &
    pid=$!
    rss() { awk '/^VmRSS:/ { print $2 }' "/proc/$pid/status" 2>/dev/null || echo 0; }

    # Start-up ends with the automatic login; the first sample is taken right after it.
    for _ in $(seq 1 600); do
        grep -q "Applikacje przywolano z TRAYA" "$work/station/Server.log" 2>/dev/null && break
        kill -0 "$pid" 2>/dev/null || { echo "memory: kel ended early" >&2; cat "$work/err.txt" >&2; exit 1; }
        sleep 0.1
    done
    start="$(rss)"
    peak="$start"
    last="$start"
    for ((t = 1; t <= seconds; t++)); do
        sleep 1
        kill -0 "$pid" 2>/dev/null || { echo "memory: kel ended after $t s" >&2; exit 1; }
        last="$(rss)"
        ((last > peak)) && peak="$last"
        ((t % 60 == 0)) && echo "  ${t} s: $(awk -v k="$last" 'BEGIN { printf "%.1f MB", k / 1024 }')"
    done
    hwm="$(awk '/^VmHWM:/ { print $2 }' "/proc/$pid/status")"
    kill -TERM "$pid"
    wait "$pid" || true
    segments="$(find "$work/station/drives/c:/" -name '*.avi' | wc -l)"

    mb() { awk -v k="$1" 'BEGIN { printf "%.1f MB", k / 1024 }'; }
    echo "kel, 16 cameras recording at $size, ${seconds} s: resident start $(mb "$start"), peak $(mb "$peak")" \
        "(high-water mark $(mb "$hwm")), end $(mb "$last"); $segments segments archived"
}

for size in $sizes; do
    run_size "$size"
done
