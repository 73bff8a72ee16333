#!/usr/bin/env bash
# What recording network cameras as they send costs the station against ffmpeg copying the same
# streams in the same run: RTSP cameras on loopback (a GStreamer RTSP server playing a 1920x1080
# H.264 file of 25 pictures a second, a key picture every 2 s, to each client), recorded by the
# station through the map board, headless, nobody watching. The reference: one
# `ffmpeg -rtsp_transport tcp -i URL -c copy` per camera writing MP4 files. Both are measured from
# 8 s after their start for the given time (CPU of the processes, user + system; the server's is
# not counted); station, reference and the station without cameras (its own upkeep: timers, the
# display thread, the server) alternate, three times each way:
#   continuous   every camera recorded continuously, motion detection off
#   motion       every camera recorded on motion (motion detection on its key pictures)
#   motion, second stream   the same, each camera's pictures from its second stream (640x360,
#                a key picture every 2 s, as cameras send beside their main one; the map's
#                "pictures="): the main stream recorded undecoded, motion found in the small one
#   motion, second stream of 5 a second   the same with a second stream of 5 pictures a second
#                (a key picture every 2 s), as an installer sets a camera's second stream that
#                serves motion detection only
#   masked       every camera recorded continuously with its left half under a privacy mask:
#                each picture decoded, painted black there and compressed again (libx264,
#                veryfast). Its reference does the same work: `ffmpeg -i URL` decoding, a black box
#                over the left half (drawbox), libx264 at the same preset, tune and quality, one
#                thread each way as the station's coders run
# and then the station alone with 16 such cameras, recording continuously. The ratio is the
# station's CPU over ffmpeg's; the marginal ratio leaves the station's upkeep out (what recording
# the cameras adds to a station that runs anyway).
#
# Usage: bench/stream_recording.sh [seconds] [cameras] [cases]  (default 30 s, 4 cameras, every case;
#   cases: a comma-separated list of continuous, motion, second, slow, masked, sixteen)
#   KEL_BINARY   the kel to run (default: build/kel)
# Targets: station / ffmpeg <= 1.2 continuous, <= 1.5 on motion, <= 1.2 masked.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
kel="${KEL_BINARY:-$root/build/kel}"
[ -x "$kel" ] || { echo "stream_recording: no kel at $kel (set KEL_BINARY)" >&2; exit 2; }
command -v ffmpeg >/dev/null || { echo "stream_recording: needs ffmpeg" >&2; exit 2; }
exec /usr/bin/python3 - "$kel" "${1:-30}" "${2:-4}" "${3:-continuous,motion,second,slow,masked,sixteen}" <<'PY'
import os, shutil, signal, statistics, struct, subprocess, sys, tempfile, time

kel, seconds, CAMERAS, CASES = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4].split(",")
SETTLE, MOUNTS = 8, 16
work = tempfile.mkdtemp()
movie = os.path.join(work, "camera.mp4")
# Long enough for every run: the server plays the file from its start to each client.
length = seconds + SETTLE + 10
small = os.path.join(work, "small.mp4")
slow = os.path.join(work, "slow.mp4")
for size, fps, rate, name in (("1920x1080", 25, "4M", movie), ("640x360", 25, "512k", small),
                              ("640x360", 5, "128k", slow)):
    subprocess.run(["ffmpeg", "-v", "error", "-f", "lavfi", "-i", "testsrc2=size=%s:rate=%d" % (size, fps), "-t",
                    str(length), "-c:v", "libx264", "-preset", "veryfast", "-b:v", rate, "-g", str(2 * fps),
                    "-pix_fmt", "yuv420p", "-y", name], check=True)

SERVER = r'''
import sys, gi
gi.require_version("Gst", "1.0")
gi.require_version("GstRtspServer", "1.0")
from gi.repository import GLib, Gst, GstRtspServer
Gst.init(None)
server = GstRtspServer.RTSPServer()
server.set_service("0")
for n in range(1, int(sys.argv[2]) + 1):
    for mount, movie in (("/cam%d" % n, sys.argv[1]), ("/small%d" % n, sys.argv[3]), ("/slow%d" % n, sys.argv[4])):
        factory = GstRtspServer.RTSPMediaFactory()
        factory.set_launch("( filesrc location=%s ! qtdemux ! h264parse ! rtph264pay name=pay0 pt=96 )" % movie)
        factory.set_shared(False)
        server.get_mount_points().add_factory(mount, factory)
server.attach(None)
print(server.get_bound_port(), flush=True)
GLib.MainLoop().run()
'''
server = subprocess.Popen(["/usr/bin/python3", "-c", SERVER, movie, str(MOUNTS), small, slow],
                          stdout=subprocess.PIPE, text=True)
port = int(server.stdout.readline())
urls = ["rtsp://127.0.0.1:%d/cam%d" % (port, n) for n in range(1, MOUNTS + 1)]
smalls = {kind: ["rtsp://127.0.0.1:%d/%s%d" % (port, kind, n) for n in range(1, MOUNTS + 1)]
          for kind in ("small", "slow")}


def cpu(pid):
    fields = open("/proc/%d/stat" % pid).read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def settle_and_measure(pids):
    time.sleep(SETTLE)
    before = sum(cpu(p) for p in pids)
    time.sleep(seconds)
    return sum(cpu(p) for p in pids) - before


def packets(folder):
    count = 0
    for top, _, names in os.walk(folder):
        for name in names:
            if name.endswith(".mp4"):
                out = subprocess.run(["ffprobe", "-v", "error", "-count_packets", "-select_streams", "v:0",
                                      "-show_entries", "stream=nb_read_packets", "-of", "csv=p=0",
                                      os.path.join(top, name)], capture_output=True, text=True).stdout.strip()
                count += int(out or 0)
    return count


def station(cameras, mode, second=None, masked=False):
    folder = os.path.join(work, "station")
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(os.path.join(folder, "run"), mode=0o700)
    os.symlink(os.path.join(os.path.dirname(os.path.abspath(kel)), "Skins"), os.path.join(folder, "Skins"))
    registry = os.path.join(folder, "registry.sqlite")
    subprocess.run([kel, "--registry", registry, "reg", "defaults"], check=True, capture_output=True)
    records = b""
    for n in range(1, 17):
        raw = ("Kamera %d" % n).encode("cp1250")
        active = 1 if n <= cameras else 0
        records += bytes([len(raw)]) + raw.ljust(30, b"\0") + struct.pack("<B8i", active, 0, 3, 0, 128, 0, 128, 128, 0)
    hexed = lambda b: ",".join("%02x" % x for x in b)
    with open(os.path.join(folder, "station.reg"), "w", newline="\r\n") as f:
        f.write("Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\KEL2]\n")
        f.write('"StartMode"=dword:00000003\n"AppMode"=dword:00000001\n"AutoLogin"=dword:00000001\n')
        f.write('"Cameras"=hex:%s\n"Scheduler"=hex:%s\n' % (hexed(records), hexed(bytes([mode]) * 2688)))
        f.write('"HDDs"=hex:%s\n' % hexed(b"\x01" + b"\0" * 24))
        f.write('"VideoFilesSize"=dword:00000004\n')  # segments of 50 million bytes
        # Motion watched in the whole picture.
        zone = struct.pack("<i", 1000) + b"\x01" * 25344 + b"\0" * 4
        f.write('"Zones"=hex:%s\n' % hexed(zone * 16))
        if masked:  # the left half of every camera: 88 of the 176 cells of each row
            f.write('"Masks"=hex:%s\n' % hexed(((b"\x01" * 88 + b"\0" * 88) * 144) * 16))
    subprocess.run([kel, "--registry", registry, "reg", "import", os.path.join(folder, "station.reg")], check=True,
                   capture_output=True)
    with open(os.path.join(folder, "cameras.map"), "w") as f:
        for n, url in enumerate(urls[:cameras], 1):
            f.write("%d = %s%s\n" % (n, url, " pictures=" + smalls[second][n - 1] if second else ""))
    env = dict(os.environ, XDG_RUNTIME_DIR=os.path.join(folder, "run"))
    p = subprocess.Popen([kel, "--headless", "--yes", "--board", "stream:" + os.path.join(folder, "cameras.map"),
                          "--workdir", folder, "--registry", registry, "--serial", os.path.join(folder, "no-tty")],
                         env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    used = settle_and_measure([p.pid])
    p.send_signal(signal.SIGTERM)
    p.wait()
    return used, packets(folder)


def reference(cameras, masked=False):
    folder = os.path.join(work, "reference")
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    work_ = ["-vf", "drawbox=x=0:y=0:w=iw/2:h=ih:color=black:t=fill", "-c:v", "libx264", "-preset", "veryfast",
             "-tune", "zerolatency", "-crf", "23", "-x264-params", "scenecut=0", "-threads", "1"] \
        if masked else ["-c", "copy"]
    ps = [subprocess.Popen(["ffmpeg", "-nostdin", "-v", "error"] + (["-threads", "1"] if masked else []) +
                           ["-rtsp_transport", "tcp", "-i", url] + work_ +
                           ["-f", "mp4", "-y", os.path.join(folder, "cam%d.mp4" % n)],
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
          for n, url in enumerate(urls[:cameras], 1)]
    used = settle_and_measure([p.pid for p in ps])
    for p in ps:
        p.send_signal(signal.SIGINT)
    for p in ps:
        try:
            p.wait(10)
        except subprocess.TimeoutExpired:
            p.kill()
    return used, packets(folder)


results = {}
try:
    for case, mode, second, masked, name in (
            ("continuous", 1, None, False, "continuous"), ("motion", 2, None, False, "motion"),
            ("second", 2, "small", False, "motion, second stream"),
            ("slow", 2, "slow", False, "motion, second stream of 5 a second"),
            ("masked", 1, None, True, "masked, compressed again")):
        if case not in CASES:
            continue
        ratios, marginal = [], []
        for i in range(1, 4):
            ours, ours_packets = station(CAMERAS, mode, second, masked)
            theirs, their_packets = reference(CAMERAS, masked)
            upkeep, _ = station(0, mode)
            ratios.append(ours / theirs if theirs else float("inf"))
            marginal.append((ours - upkeep) / theirs if theirs else float("inf"))
            print("%s run %d: station %.2f s CPU in %d s (%.2f %% of a core a camera; %d packets recorded), "
                  "ffmpeg x %d %.2f s CPU (%d packets), station without cameras %.2f s; ratio %.2f, marginal %.2f" %
                  (name, i, ours, seconds, 100 * ours / seconds / CAMERAS, ours_packets, CAMERAS, theirs,
                   their_packets, upkeep, ratios[-1], marginal[-1]), flush=True)
        results[name] = (statistics.median(ratios), statistics.median(marginal))
    if "sixteen" in CASES:
        sixteen, sixteen_packets = station(16, 1)
        print("16 cameras of 1920x1080 recorded continuously: station %.1f %% of a core (%.2f %% a camera; %d packets)" %
              (100 * sixteen / seconds, 100 * sixteen / seconds / 16, sixteen_packets), flush=True)
finally:
    server.terminate()
    shutil.rmtree(work, ignore_errors=True)
targets = {"continuous": 1.2, "motion": 1.5, "motion, second stream": 1.5, "masked, compressed again": 1.2}
print("median: %d RTSP camera(s) of 1920x1080 H.264, station / ffmpeg doing the same (-c copy; masked: decode, "
      "drawbox, libx264): %s" % (CAMERAS, "; ".join(
          "%s %.2fx (marginal %.2fx%s)" % (name, r, m, "; target <= %.1f" % targets[name] if name in targets else "")
          for name, (r, m) in results.items())))
PY
