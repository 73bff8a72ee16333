#!/usr/bin/env bash
# What recording a network camera with a privacy mask costs the station against ffmpeg doing the
# same work in the same run: an RTSP camera on loopback (a GStreamer RTSP server playing a
# 1920x1080 H.264 file of 25 pictures a second, a key picture every 2 s), its left half masked,
# recorded continuously by the station through the map board, headless, nobody watching: each
# picture decoded, the mask painted black and compressed again with libx264 (preset veryfast).
# The reference: `ffmpeg -rtsp_transport tcp -i URL` decoding, a black box over the left half
# (drawbox), libx264 at the same preset, tune and quality, one thread each way as the station's
# coders run, writing MP4. Both measured from 8 s after their start for the given time (CPU of the
# processes, user + system; the server's not counted); station, reference and the station with
# the camera unmasked (recorded as it sends: reading the stream and the station's own upkeep)
# alternate, three times each way. The ratio is the station's CPU over ffmpeg's.
#
# Usage: bench/masked_recording.sh [seconds] [cameras]     (default 30 s, 1 camera)
#   KEL_BINARY   the kel to run (default: build/kel)
# Target: station / ffmpeg <= 1.2.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
kel="${KEL_BINARY:-$root/build/kel}"
[ -x "$kel" ] || { echo "masked_recording: no kel at $kel (set KEL_BINARY)" >&2; exit 2; }
command -v ffmpeg >/dev/null || { echo "masked_recording: needs ffmpeg" >&2; exit 2; }
exec /usr/bin/python3 - "$kel" "${1:-30}" "${2:-1}" <<'PY'
import os, shutil, signal, statistics, struct, subprocess, sys, tempfile, time

kel, seconds, CAMERAS = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
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


def station(cameras, mode, second=None, masked=True):
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
        # The left half of every camera masked (88 of the 176 cells of each row).
        mask = (b"\x01" * 88 + b"\0" * 88) * 144 if masked else b"\0" * 25344
        f.write('"Masks"=hex:%s\n' % hexed(mask * 16))
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


def reference(cameras):
    folder = os.path.join(work, "reference")
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    ps = [subprocess.Popen(["ffmpeg", "-nostdin", "-v", "error", "-threads", "1", "-rtsp_transport", "tcp", "-i", url,
                            "-vf", "drawbox=x=0:y=0:w=iw/2:h=ih:color=black:t=fill", "-c:v", "libx264", "-preset",
                            "veryfast", "-tune", "zerolatency", "-crf", "23", "-x264-params", "scenecut=0",
                            "-threads", "1", "-f", "mp4", "-y", os.path.join(folder, "cam%d.mp4" % n)],
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


ratios, marginal = [], []
try:
    for i in range(1, 4):
        ours, ours_packets = station(CAMERAS, 1)
        theirs, their_packets = reference(CAMERAS)
        plain, _ = station(CAMERAS, 1, masked=False)
        ratios.append(ours / theirs if theirs else float("inf"))
        marginal.append((ours - plain) / theirs if theirs else float("inf"))
        print("run %d: station with the mask %.2f s CPU in %d s (%.1f %% of a core a camera; %d pictures recorded), "
              "ffmpeg x %d %.2f s CPU (%d pictures), station without the mask %.2f s; ratio %.2f, "
              "the masking alone %.2f" %
              (i, ours, seconds, 100 * ours / seconds / CAMERAS, ours_packets, CAMERAS, theirs, their_packets, plain,
               ratios[-1], marginal[-1]), flush=True)
finally:
    server.terminate()
    shutil.rmtree(work, ignore_errors=True)
print("median: %d RTSP camera(s) of 1920x1080 H.264 with the left half masked, station / ffmpeg (decode, "
      "drawbox, libx264 veryfast): %.2fx (target <= 1.2); the masking alone over ffmpeg's whole: %.2fx" %
      (CAMERAS, statistics.median(ratios), statistics.median(marginal)))
PY
