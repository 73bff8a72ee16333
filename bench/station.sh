#!/usr/bin/env bash
# The whole station's CPU per recorded picture: kel with the simulated board, N active cameras at
# one size, every camera recorded continuously to drive C:, run for a while and stopped with
# SIGTERM; its CPU (user + system, the whole life of the process; on the desktop the X server's
# CPU over the same time is added) divided by the pictures in the archived segments. Against it,
# in the same run, right after each station run: ffmpeg encoding the same number of the same
# pictures, decoded back from that run's own recordings, from UYVY as the board gives them, the
# way the recorder does (-c:v msmpeg4 -q:v 5 -g 1 -threads 1). Station and reference alternate.
# Also counts the pictures each capture thread delivered (the capture report), so recorded /
# delivered is printed for the worst camera, and repeated pictures.
#
# Headless runs and, with Xvfb installed, runs on a virtual X screen with the console showing the
# 16-camera layout alternate; prints every run and the medians.
#
# A station runs for months, so the start (loading libraries, skins and the board, 0.2-0.3 s of
# CPU) weighs nothing in its cost per picture, but much in a run of half a minute at 352x288. So
# each round also runs the station for a few seconds and prints, besides the ratio over the whole
# life of the process, the marginal ratio: the long run's CPU less the short run's against ffmpeg
# encoding the long run's pictures less ffmpeg encoding the short run's number of the same
# pictures. The target applies to the marginal ratio.
#
# Usage: bench/station.sh [seconds] [runs] [size] [cameras]
#        (defaults 60, 3, 704x576, 16; size 352x288 too; cameras 1, 2 or 16: with one or two
#        cameras each one has its group's 25 pictures a second)
#   KEL_BINARY   the kel to run (default: build/kel)
#   KEL_BENCH_KINDS  "headless desktop" (default), or one of them
# Targets: recorded / delivered >= 0.999 for every camera; CPU per picture <= 1.2x ffmpeg
# headless, <= 1.3x on the desktop with the X server counted.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
kel="${KEL_BINARY:-$root/build/kel}"
[ -x "$kel" ] || { echo "station: no kel at $kel (set KEL_BINARY)" >&2; exit 2; }
command -v ffmpeg >/dev/null || { echo "station: needs ffmpeg" >&2; exit 2; }
exec python3 - "$kel" "${1:-60}" "${2:-3}" "${3:-704x576}" "${4:-16}" <<'PY'
import os, re, shutil, signal, statistics, struct, subprocess, sys, tempfile, time

kel, seconds, runs, size, count = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4], int(sys.argv[5])
code = {"704x576": 0, "352x288": 2}[size]
width, height = map(int, size.split("x"))


def station_reg(path):
    cams = b""
    for n in range(1, 17):
        raw = ("Kamera %d" % n).encode("cp1250")
        active = 1 if n <= count else 0
        cams += bytes([len(raw)]) + raw.ljust(30, b"\0") + struct.pack("<B8i", active, code, 3, 0, 128, 0, 128, 128, 0)
    hexed = lambda b: ",".join("%02x" % x for x in b)
    with open(path, "w", newline="\r\n") as f:
        f.write("Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\KEL2]\n")
        f.write('"StartMode"=dword:00000003\n"AppMode"=dword:00000001\n"AutoLogin"=dword:00000001\n')
        f.write('"Cameras"=hex:%s\n"Scheduler"=hex:%s\n' % (hexed(cams), hexed(b"\x01" * 2688)))
        f.write('"HDDs"=hex:%s\n' % hexed(b"\x01" + b"\0" * 24))


def video_chunks(path):
    """The video chunks of an AVI file, in file order."""
    data = open(path, "rb").read()
    at = data.find(b"movi") + 4
    end = len(data)
    out = []
    while at + 8 <= end:
        cid, n = data[at:at + 4], struct.unpack("<I", data[at + 4:at + 8])[0]
        if cid == b"idx1":
            break
        if cid == b"00dc":
            out.append(data[at + 8:at + 8 + n])
        at += 8 + n + (n & 1)
    return out


def process_cpu(pid):
    """CPU seconds (user + system) of a running process so far."""
    fields = open("/proc/%d/stat" % pid).read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def run_station(work, desktop, display, xvfb_pid, seconds, keep_pictures=False):
    station = os.path.join(work, "station")
    shutil.rmtree(station, ignore_errors=True)
    os.makedirs(station)
    os.symlink(os.path.join(os.path.dirname(os.path.abspath(kel)), "Skins"), os.path.join(station, "Skins"))
    registry = os.path.join(work, "registry.sqlite")
    if os.path.exists(registry):
        os.remove(registry)
    subprocess.run([kel, "--registry", registry, "reg", "defaults"], check=True, capture_output=True)
    station_reg(os.path.join(work, "station.reg"))
    subprocess.run([kel, "--registry", registry, "reg", "import", os.path.join(work, "station.reg")],
                   check=True, capture_output=True)
    report = os.path.join(work, "capture.txt")
    env = dict(os.environ, XDG_RUNTIME_DIR=os.path.join(work, "run"), KEL_TEST_CAPTURE_REPORT=report)
    args = [kel, "--yes", "--workdir", station, "--registry", registry, "--serial", os.path.join(work, "no-tty")]
    if desktop:
        env["DISPLAY"] = display
        env["QT_QPA_PLATFORM"] = "xcb"
    else:
        args.insert(1, "--headless")
    x_before = process_cpu(xvfb_pid) if desktop else 0
    p = subprocess.Popen(args, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    time.sleep(seconds)
    p.send_signal(signal.SIGTERM)
    _, status, usage = os.wait4(p.pid, 0)
    p.returncode = status
    x_cpu = process_cpu(xvfb_pid) - x_before if desktop else 0
    delivered = {}
    for line in open(report):
        camera, pictures = map(int, line.split())
        if pictures:
            delivered[camera] = pictures
    recorded = {}
    repeated = 0
    files = []
    for folder, _, names in os.walk(os.path.join(station, "drives", "c:", "KEL2_Videos")):
        camera = int(re.search(r"Kamera(\d+)", folder).group(1)) if re.search(r"Kamera(\d+)", folder) else 0
        for name in sorted(names):
            if not name.endswith(".avi"):
                continue
            chunks = video_chunks(os.path.join(folder, name))
            recorded[camera] = recorded.get(camera, 0) + len(chunks)
            repeated += sum(a == b for a, b in zip(chunks, chunks[1:]))
            files.append(os.path.join(folder, name))
    worst = min((recorded.get(c, 0) / d for c, d in delivered.items()), default=0)
    # The reference's pictures: this run's own recordings, decoded back to what the board gave.
    raw = os.path.join(work, "pictures.uyvy")
    if keep_pictures:
        shutil.rmtree(station, ignore_errors=True)
        return usage.ru_utime + usage.ru_stime + x_cpu, x_cpu, sum(recorded.values()), sum(delivered.values()), worst, repeated
    listing = os.path.join(work, "segments.txt")
    with open(listing, "w") as f:
        for path in files[:40]:
            f.write("file '%s'\n" % path.replace("'", "'\\''"))
    subprocess.run(["ffmpeg", "-v", "error", "-f", "concat", "-safe", "0", "-i", listing, "-frames:v", "400",
                    "-pix_fmt", "uyvy422", "-f", "rawvideo", "-y", raw], check=True)
    shutil.rmtree(station, ignore_errors=True)
    return usage.ru_utime + usage.ru_stime + x_cpu, x_cpu, sum(recorded.values()), sum(delivered.values()), worst, repeated


def run_ffmpeg(work, pictures):
    raw = os.path.join(work, "pictures.uyvy")
    p = subprocess.Popen(["ffmpeg", "-v", "error", "-stream_loop", "-1", "-f", "rawvideo", "-pix_fmt", "uyvy422",
                          "-s", size, "-i", raw, "-frames:v", str(pictures), "-c:v", "msmpeg4", "-q:v", "5",
                          "-g", "1", "-threads", "1", "-f", "avi", "-y", os.devnull])
    _, _, usage = os.wait4(p.pid, 0)
    return usage.ru_utime + usage.ru_stime


work = tempfile.mkdtemp()
os.makedirs(os.path.join(work, "run"), mode=0o700)
xvfb, display = None, None
if shutil.which("Xvfb"):
    # The server picks a free display and names it on the pipe (-displayfd): never a guessed number.
    named_r, named_w = os.pipe()
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(named_w), "-screen", "0", "1280x1024x24", "-nolisten",
                             "tcp", "-noreset"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, pass_fds=(named_w,))
    os.close(named_w)
    with os.fdopen(named_r) as named:
        number = named.readline().strip()
    if number:
        display = ":" + number
    else:
        xvfb.terminate()
        xvfb = None
wanted = os.environ.get("KEL_BENCH_KINDS", "headless desktop").split()
kinds = [k for k in ["headless", "desktop"] if k in wanted and (k == "headless" or xvfb)]
ratios = {k: [] for k in kinds}
short_seconds = 6
try:
    for i in range(1, runs + 1):
        for kind in kinds:
            cpu, x_cpu, recorded, delivered, worst, repeated = run_station(work, kind == "desktop", display,
                                                                           xvfb.pid if xvfb else 0, seconds)
            ref = run_ffmpeg(work, recorded)
            ratio = (cpu / recorded) / (ref / recorded) if recorded and ref else float("inf")
            short_cpu, _, short_recorded, _, _, _ = run_station(work, kind == "desktop", display,
                                                                xvfb.pid if xvfb else 0, short_seconds, True)
            short_ref = run_ffmpeg(work, short_recorded)
            margin = recorded - short_recorded
            marginal = (cpu - short_cpu) / (ref - short_ref) if margin > 0 and ref > short_ref else float("inf")
            ratios[kind].append((marginal, worst, repeated, ratio))
            print("run %d %-8s %d x %s: kel %.1f s CPU%s, %d pictures recorded of %d delivered (worst camera "
                  "%.4f), %d repeated; %.2f ms a picture; ffmpeg %.2f ms a picture; ratio %.2f; "
                  "a %d s run: kel %.2f s, %d pictures, ffmpeg %.2f s; marginal ratio %.2f" %
                  (i, kind, count, size, cpu, " (X server %.1f s)" % x_cpu if kind == "desktop" else "", recorded,
                   delivered, worst, repeated, 1000 * cpu / max(recorded, 1), 1000 * ref / max(recorded, 1), ratio,
                   short_seconds, short_cpu, short_recorded, short_ref, marginal),
                  flush=True)
finally:
    if xvfb:
        xvfb.terminate()
    shutil.rmtree(work, ignore_errors=True)
for kind in kinds:
    r = ratios[kind]
    print("median %-8s %d x %s: CPU per picture %.2fx ffmpeg marginal (target <= %s), %.2fx over the whole "
          "life, recorded / delivered of the worst camera %.4f (target >= 0.999), repeated %d" %
          (kind, count, size, statistics.median(x[0] for x in r), "1.2" if kind == "headless" else "1.3",
           statistics.median(x[3] for x in r), statistics.median(x[1] for x in r), max(x[2] for x in r)))
PY
