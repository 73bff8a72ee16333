#!/usr/bin/env bash
# What network cameras cost the station against ffmpeg doing the same job in the same run: four
# RTSP cameras on loopback (a GStreamer RTSP server playing a 1280x720 H.264 file of 25 pictures a
# second to each client), recorded continuously through the map board at 704x576, each camera at
# its share of the board (four cameras: 12.5 pictures a second each). The reference: four ffmpeg
# processes reading the same streams and doing what the station does with them (decode, take 12.5
# pictures a second, scale bilinear to 704x576, msmpeg4 at quantiser 5, every picture a key
# picture; the station told to record them so, not as they send). Both are measured from 8 s
# after their start for the given time (CPU of the processes, user + system; the server's is not
# counted); station and reference alternate, three times.
#
# Usage: bench/ip_cameras.sh [seconds]      (default 30)
#   KEL_BINARY   the kel to run (default: build/kel)
# Target: the station's CPU <= 1.2x the reference's.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
kel="${KEL_BINARY:-$root/build/kel}"
[ -x "$kel" ] || { echo "ip_cameras: no kel at $kel (set KEL_BINARY)" >&2; exit 2; }
command -v ffmpeg >/dev/null || { echo "ip_cameras: needs ffmpeg" >&2; exit 2; }
exec /usr/bin/python3 - "$kel" "${1:-30}" <<'PY'
import os, shutil, signal, socket, statistics, struct, subprocess, sys, tempfile, time

kel, seconds = sys.argv[1], int(sys.argv[2])
CAMERAS, RATE, SETTLE = 4, 12.5, 8
work = tempfile.mkdtemp()
movie = os.path.join(work, "camera.mp4")
# Long enough for every run: the server plays the file once to each client.
length = 3 * (seconds + SETTLE + 10)
subprocess.run(["ffmpeg", "-v", "error", "-f", "lavfi", "-i", "testsrc2=size=1280x720:rate=25", "-t", str(length),
                "-c:v", "libx264", "-preset", "veryfast", "-g", "50", "-pix_fmt", "yuv420p", "-y", movie], check=True)

SERVER = r'''
import sys, gi
gi.require_version("Gst", "1.0")
gi.require_version("GstRtspServer", "1.0")
from gi.repository import GLib, Gst, GstRtspServer
Gst.init(None)
server = GstRtspServer.RTSPServer()
server.set_service("0")
for n in range(1, 5):
    factory = GstRtspServer.RTSPMediaFactory()
    factory.set_launch("( filesrc location=%s ! qtdemux ! h264parse ! rtph264pay name=pay0 pt=96 )" % sys.argv[1])
    factory.set_shared(False)
    server.get_mount_points().add_factory("/cam%d" % n, factory)
server.attach(None)
print(server.get_bound_port(), flush=True)
GLib.MainLoop().run()
'''
server = subprocess.Popen(["/usr/bin/python3", "-c", SERVER, movie], stdout=subprocess.PIPE, text=True)
port = int(server.stdout.readline())
urls = ["rtsp://127.0.0.1:%d/cam%d" % (port, n) for n in range(1, CAMERAS + 1)]


def cpu(pid):
    fields = open("/proc/%d/stat" % pid).read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def settle_and_measure(pids):
    time.sleep(SETTLE)
    before = sum(cpu(p) for p in pids)
    time.sleep(seconds)
    return sum(cpu(p) for p in pids) - before


def station():
    folder = os.path.join(work, "station")
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(os.path.join(folder, "run"), mode=0o700)
    os.symlink(os.path.join(os.path.dirname(os.path.abspath(kel)), "Skins"), os.path.join(folder, "Skins"))
    registry = os.path.join(folder, "registry.sqlite")
    subprocess.run([kel, "--registry", registry, "reg", "defaults"], check=True, capture_output=True)
    records = b""
    for n in range(1, 17):
        raw = ("Kamera %d" % n).encode("cp1250")
        active = 1 if n <= CAMERAS else 0
        records += bytes([len(raw)]) + raw.ljust(30, b"\0") + struct.pack("<B8i", active, 0, 3, 0, 128, 0, 128, 128, 0)
    hexed = lambda b: ",".join("%02x" % x for x in b)
    with open(os.path.join(folder, "station.reg"), "w", newline="\r\n") as f:
        f.write("Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\KEL2]\n")
        f.write('"StartMode"=dword:00000003\n"AppMode"=dword:00000001\n"AutoLogin"=dword:00000001\n')
        f.write('"Cameras"=hex:%s\n"Scheduler"=hex:%s\n' % (hexed(records), hexed(b"\x01" * 2688)))
        f.write('"HDDs"=hex:%s\n' % hexed(b"\x01" + b"\0" * 24))
        # Decoded and compressed again, not recorded as the cameras send.
        f.write('"Reencode"=hex:%s\n' % hexed(b"\x01" * 16))
    subprocess.run([kel, "--registry", registry, "reg", "import", os.path.join(folder, "station.reg")], check=True,
                   capture_output=True)
    with open(os.path.join(folder, "cameras.map"), "w") as f:
        for n, url in enumerate(urls, 1):
            f.write("%d = %s\n" % (n, url))
    env = dict(os.environ, XDG_RUNTIME_DIR=os.path.join(folder, "run"))
    p = subprocess.Popen([kel, "--headless", "--yes", "--board", "stream:" + os.path.join(folder, "cameras.map"),
                          "--workdir", folder, "--registry", registry, "--serial", os.path.join(folder, "no-tty")],
                         env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    used = settle_and_measure([p.pid])
    p.send_signal(signal.SIGTERM)
    p.wait()
    pictures = 0
    for top, _, names in os.walk(os.path.join(folder, "drives", "c:", "KEL2_Videos")):
        for name in names:
            if name.endswith(".avi"):
                out = subprocess.run(["ffprobe", "-v", "error", "-count_packets", "-select_streams", "v:0",
                                      "-show_entries", "stream=nb_read_packets", "-of", "csv=p=0",
                                      os.path.join(top, name)], capture_output=True, text=True).stdout.strip()
                pictures += int(out or 0)
    return used, pictures


def reference():
    ps = [subprocess.Popen(["ffmpeg", "-nostdin", "-v", "error", "-rtsp_transport", "tcp", "-i", url,
                            "-vf", "fps=%s,scale=704:576:flags=bilinear" % RATE, "-c:v", "msmpeg4", "-q:v", "5",
                            "-g", "1", "-threads", "1", "-f", "avi", "-y", os.devnull],
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL) for url in urls]
    used = settle_and_measure([p.pid for p in ps])
    for p in ps:
        p.send_signal(signal.SIGINT)
    for p in ps:
        try:
            p.wait(10)
        except subprocess.TimeoutExpired:
            p.kill()
    return used


ratios = []
try:
    for i in range(1, 4):
        ours, pictures = station()
        theirs = reference()
        ratios.append(ours / theirs if theirs else float("inf"))
        print("run %d: station %.2f s CPU in %d s (%.1f %% of a core a camera; %d pictures recorded in its life), "
              "ffmpeg x %d %.2f s CPU; ratio %.2f" % (i, ours, seconds, 100 * ours / seconds / CAMERAS, pictures,
                                                     CAMERAS, theirs, ratios[-1]), flush=True)
finally:
    server.terminate()
    shutil.rmtree(work, ignore_errors=True)
print("median: %d RTSP cameras of 1280x720 H.264, station / ffmpeg %.2fx (target <= 1.2)" %
      (CAMERAS, statistics.median(ratios)))
PY
