#!/usr/bin/env bash
# What the console itself costs: the CPU of a station with 16 active cameras recorded
# continuously, in the 16-camera layout, run headless and then on a virtual X screen (Xvfb) with the
# console shown, each for the same time, alternately, three times. On the desktop the X server's CPU over the same time is
# counted too: drawing the console is its work as much as the station's. Prints each run, the
# medians and the ratio desktop / headless (target: at most 1.3).
#
# Usage: bench/desktop_cpu.sh [seconds]      (default 30 per run)
#   KEL_BINARY   the kel to run (default: build/kel)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
# shellcheck source=scripts/lib/virtual-screen.sh
source "$root/scripts/lib/virtual-screen.sh"
seconds="${1:-30}"
kel="${KEL_BINARY:-$root/build/kel}"
[ -x "$kel" ] || { echo "desktop_cpu: no kel at $kel (set KEL_BINARY)" >&2; exit 2; }
command -v Xvfb >/dev/null || { echo "desktop_cpu: needs Xvfb" >&2; exit 2; }

work="$(mktemp -d)"
trap 'kill "${kel_pid:-}" "${xvfb_pid:-}" 2>/dev/null || true; rm -rf "$work"' EXIT
mkdir -p "$work/run"
chmod 700 "$work/run"
ln -s "$(cd "$(dirname "$kel")" && pwd)/Skins" "$work/Skins"
registry="$work/registry.sqlite"
"$kel" --registry "$registry" reg defaults
python3 - "$work/station.reg" <<'PY'
import struct, sys
data = b""
for n in range(1, 17):
    raw = ("Kamera %d" % n).encode("cp1250")
    data += bytes([len(raw)]) + raw.ljust(30, b"\0")
    data += struct.pack("<B8i", 1, 2, 8, 0, 128, 0, 128, 128, 0)
with open(sys.argv[1], "w", newline="\r\n") as f:
    f.write("Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\KEL2]\n")
    f.write('"StartMode"=dword:00000003\n"AppMode"=dword:00000001\n"AutoLogin"=dword:00000001\n')
    f.write('"Cameras"=hex:' + ",".join("%02x" % b for b in data) + "\n")
    f.write('"Scheduler"=hex:' + ",".join(["01"] * 2688) + "\n")
    f.write('"HDDs"=hex:' + ",".join(["01"] + ["00"] * 24) + "\n")
PY
"$kel" --registry "$registry" reg import "$work/station.reg"

# CPU seconds (user + system) of a process so far.
cpu() { awk -v hz="$(getconf CLK_TCK)" '{ printf "%.2f", ($14 + $15) / hz }' "/proc/$1/stat"; }

# One run: the station started with "$@", measured from 5 s after its start for $seconds; on the
# desktop ($display set) with the X server's CPU over the same time.
measure() {
    rm -f "$work/Server.log"
    XDG_RUNTIME_DIR="$work/run" "$kel" --workdir "$work" --registry "$registry" --serial "$work/no-serial" "$@" \
        >/dev/null 2>&1 &
    kel_pid=$!
    sleep 5
    local before after x_before=0 x_after=0
    before=$(cpu "$kel_pid")
    [ -n "${DISPLAY:-}" ] && x_before=$(cpu "$xvfb_pid")
    sleep "$seconds"
    after=$(cpu "$kel_pid")
    [ -n "${DISPLAY:-}" ] && x_after=$(cpu "$xvfb_pid")
    kill -TERM "$kel_pid"
    wait "$kel_pid" || true
    awk -v a="$after" -v b="$before" -v xa="$x_after" -v xb="$x_before" 'BEGIN { printf "%.2f", a - b + xa - xb }'
}

start_virtual_screen 1280x1024x24 "$work" || { echo "desktop_cpu: no virtual screen" >&2; exit 2; }
headless=()
desktop=()
for i in 1 2 3; do
    h=$(DISPLAY= measure --headless --yes)
    d=$(DISPLAY="$display" measure)
    echo "run $i: headless ${h} s CPU, desktop ${d} s CPU (with the X server's) in ${seconds} s"
    headless+=("$h")
    desktop+=("$d")
done
median() { printf '%s\n' "$@" | sort -g | sed -n 2p; }
mh=$(median "${headless[@]}")
md=$(median "${desktop[@]}")
awk -v h="$mh" -v d="$md" -v s="$seconds" 'BEGIN {
    printf "median: headless %.2f s (%.0f%% of a core), desktop %.2f s (%.0f%% of a core), ratio %.2f (target <= 1.30)\n",
        h, 100 * h / s, d, 100 * d / s, d / h }'
