#!/usr/bin/env bash
# What a station costs when nobody needs its pictures compressed, headless, with the simulated
# board: (a) 16 active cameras with moving pictures and no hour of the schedule recording, no
# remote viewer (target: at most 2 % of a core); (b) one active camera with a still picture,
# recording off (target: at most 1 % of a core). Each station is measured from 5 s after its
# start for the given time; (a) and (b) alternate, three times; prints every run and the medians.
#
# Usage: bench/idle.sh [seconds]      (default 30)
#   KEL_BINARY   the kel to run (default: build/kel)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
kel="${KEL_BINARY:-$root/build/kel}"
[ -x "$kel" ] || { echo "idle: no kel at $kel (set KEL_BINARY)" >&2; exit 2; }
exec python3 - "$kel" "${1:-30}" <<'PY'
import os, shutil, signal, statistics, struct, subprocess, sys, tempfile, time

kel, seconds = sys.argv[1], int(sys.argv[2])


def prepare(work, cameras):
    station = os.path.join(work, "station")
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(station)
    os.makedirs(os.path.join(work, "run"), mode=0o700)
    os.symlink(os.path.join(os.path.dirname(os.path.abspath(kel)), "Skins"), os.path.join(station, "Skins"))
    registry = os.path.join(work, "registry.sqlite")
    subprocess.run([kel, "--registry", registry, "reg", "defaults"], check=True, capture_output=True)
    records = b""
    for n in range(1, 17):
        raw = ("Kamera %d" % n).encode("cp1250")
        active = 1 if n <= cameras else 0
        records += bytes([len(raw)]) + raw.ljust(30, b"\0") + struct.pack("<B8i", active, 0, 3, 0, 128, 0, 128, 128, 0)
    hexed = lambda b: ",".join("%02x" % x for x in b)
    reg = os.path.join(work, "station.reg")
    with open(reg, "w", newline="\r\n") as f:
        f.write("Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\KEL2]\n")
        f.write('"StartMode"=dword:00000003\n"AppMode"=dword:00000001\n"AutoLogin"=dword:00000001\n')
        f.write('"Cameras"=hex:%s\n"Scheduler"=hex:%s\n' % (hexed(records), hexed(b"\0" * 2688)))
        f.write('"HDDs"=hex:%s\n' % hexed(b"\x01" + b"\0" * 24))
    subprocess.run([kel, "--registry", registry, "reg", "import", reg], check=True, capture_output=True)


def cpu(pid):
    fields = open("/proc/%d/stat" % pid).read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def run(work, board):
    env = dict(os.environ, XDG_RUNTIME_DIR=os.path.join(work, "run"))
    p = subprocess.Popen([kel, "--headless", "--yes", "--board", board, "--workdir", os.path.join(work, "station"),
                          "--registry", os.path.join(work, "registry.sqlite"), "--serial",
                          os.path.join(work, "no-tty")], env=env, stdout=subprocess.DEVNULL,
                         stderr=subprocess.DEVNULL)
    time.sleep(5)
    before = cpu(p.pid)
    time.sleep(seconds)
    used = cpu(p.pid) - before
    p.send_signal(signal.SIGTERM)
    p.wait()
    return 100 * used / seconds


top = tempfile.mkdtemp()
cases = [("16 moving cameras, nothing recorded", 16, "sim", 2.0), ("one still camera, recording off", 1, "sim:still", 1.0)]
shares = {c[0]: [] for c in cases}
try:
    for i in range(1, 4):
        for name, cameras, board, _ in cases:
            work = os.path.join(top, "w%d" % cameras)
            prepare(work, cameras)
            share = run(work, board)
            shares[name].append(share)
            print("run %d %-36s %.2f %% of a core" % (i, name + ":", share), flush=True)
finally:
    shutil.rmtree(top, ignore_errors=True)
for name, _, _, target in cases:
    print("median %-36s %.2f %% of a core (target <= %.0f %%)" % (name + ":", statistics.median(shares[name]), target))
PY
