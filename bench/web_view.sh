#!/usr/bin/env bash
# What serving the web view costs the station against ffmpeg compressing the same pictures to
# JPEG in the same run. A headless station with 16 simulated cameras of 704x576 (nothing
# recorded), its web view on:
#   served     one browser-like client watching all 16 cameras over a WebSocket; the station's
#              CPU with the client less its CPU without one, over the distinct pictures received
#   reference  `ffmpeg -f rawvideo -pix_fmt uyvy422 -s 704x576 -i … -c:v mjpeg -f null -` on as
#              many pictures, the received ones decoded back to UYVY once (so the same pictures)
# alternating three times; the ratio is station / ffmpeg per picture. Then 10 clients over TLS,
# each watching all 16 cameras: the station's CPU (share of one core), pictures per second each
# client got and the pictures dropped for clients that were behind.
#
# Usage: bench/web_view.sh [seconds]     (default 20 s per measurement)
#   KEL_BINARY   the kel to run (default: build/kel)
# Target: station / ffmpeg <= 1.2 per served picture.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
kel="${KEL_BINARY:-$root/build/kel}"
[ -x "$kel" ] || { echo "web_view: no kel at $kel (set KEL_BINARY)" >&2; exit 2; }
command -v ffmpeg >/dev/null || { echo "web_view: needs ffmpeg" >&2; exit 2; }
exec /usr/bin/python3 - "$kel" "${1:-20}" <<'PY'
import asyncio, os, resource, shutil, signal, socket, ssl, statistics, struct, subprocess, sys, tempfile, time
import urllib.request
import websockets

kel, seconds = sys.argv[1], int(sys.argv[2])
SETTLE = 6
work = tempfile.mkdtemp()
insecure = ssl.create_default_context()
insecure.check_hostname = False
insecure.verify_mode = ssl.CERT_NONE


def cpu(pid):
    fields = open("/proc/%d/stat" % pid).read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def free_port():
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


def start_station(tls):
    folder = os.path.join(work, "station-tls" if tls else "station")
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(os.path.join(folder, "run"), mode=0o700)
    os.symlink(os.path.join(os.path.dirname(os.path.abspath(kel)), "Skins"), os.path.join(folder, "Skins"))
    registry = os.path.join(folder, "registry.sqlite")
    subprocess.run([kel, "--registry", registry, "reg", "defaults"], check=True, capture_output=True)
    records = b""
    for n in range(1, 17):
        raw = ("Kamera %d" % n).encode("cp1250")
        records += bytes([len(raw)]) + raw.ljust(30, b"\0") + struct.pack("<B8i", 1, 0, 25, 0, 128, 0, 128, 128, 0)
    port = free_port()
    hexed = lambda b: ",".join("%02x" % x for x in b)
    with open(os.path.join(folder, "station.reg"), "w", newline="\r\n") as f:
        f.write("Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\KEL2]\n")
        f.write('"StartMode"=dword:00000003\n"AppMode"=dword:00000001\n"AutoLogin"=dword:00000001\n')
        f.write('"Cameras"=hex:%s\n"Scheduler"=hex:%s\n' % (hexed(records), hexed(b"\0" * 2688)))
        f.write('"Web"=dword:00000001\n"WebPort"=dword:%08x\n"WebTls"=dword:%08x\n' % (port, 1 if tls else 0))
    subprocess.run([kel, "--registry", registry, "reg", "import", os.path.join(folder, "station.reg")], check=True,
                   capture_output=True)
    env = dict(os.environ, XDG_RUNTIME_DIR=os.path.join(folder, "run"))
    p = subprocess.Popen([kel, "--headless", "--yes", "--workdir", folder, "--registry", registry, "--serial",
                          os.path.join(folder, "no-tty")], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    url = ("https" if tls else "http") + "://127.0.0.1:%d" % port
    for _ in range(200):
        try:
            urllib.request.urlopen(url + "/login", context=insecure, timeout=1)
            break
        except Exception:
            time.sleep(0.1)
    return p, url


def login(url):
    request = urllib.request.Request(url + "/api/login", data=b"login=kel&password=qxv", method="POST")
    reply = urllib.request.urlopen(request, context=insecure)
    return reply.headers["Set-Cookie"].split(";")[0]


async def watch(url, cookie, until, keep=None, stats=None):
    uri = url.replace("http", "ws", 1) + "/ws"
    seen, got = set(), 0
    async with websockets.connect(uri, extra_headers={"Cookie": cookie}, max_size=None,
                                  ssl=insecure if uri.startswith("wss") else None) as ws:
        await ws.send("live " + " ".join(str(n) for n in range(1, 17)))
        while time.time() < until:
            try:
                message = await asyncio.wait_for(ws.recv(), max(0.01, until - time.time()))
            except asyncio.TimeoutError:
                break
            if isinstance(message, bytes) and message[:1] == b"L":
                got += 1
                seen.add((message[1], struct.unpack("<I", message[12:16])[0]))
                if keep is not None and len(keep) < 400:
                    keep.append(message[16:])
    if stats is not None:
        stats.append((got, len(seen)))
    return got, len(seen)


def served(p, pid, url, keep):
    cookie = login(url)
    until = time.time() + SETTLE + seconds
    result = {}

    async def run():
        task = asyncio.ensure_future(watch(url, cookie, until, keep))
        await asyncio.sleep(SETTLE)
        before, seen_before = cpu(pid), None
        result["before"] = before
        got, distinct = await task
        result["cpu"] = cpu(pid) - before
        result["pictures"] = distinct
    asyncio.run(run())
    return result


def idle(pid):
    time.sleep(2)
    before = cpu(pid)
    time.sleep(seconds)
    return cpu(pid) - before


def reference(raw, frames):
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    subprocess.run(["ffmpeg", "-v", "error", "-nostdin", "-stream_loop", "-1", "-f", "rawvideo", "-pix_fmt", "uyvy422",
                    "-s", "704x576", "-i", raw, "-frames:v", str(frames), "-c:v", "mjpeg", "-q:v", "5", "-f", "null",
                    "-"], check=True)
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    return (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)


launcher, url = start_station(False)
pid = launcher.pid  # `kel` becomes kel-station in the same process
time.sleep(SETTLE)
keep = []
rows = []
raw = os.path.join(work, "pictures.uyvy")
try:
    for round_ in range(3):
        upkeep = idle(pid)
        s = served(launcher, pid, url, keep if round_ == 0 else None)
        if round_ == 0:
            # The pictures received, decoded back to UYVY: the reference compresses the same ones.
            with open(os.path.join(work, "pictures.mjpeg"), "wb") as f:
                for jpeg in keep:
                    f.write(jpeg)
            subprocess.run(["ffmpeg", "-v", "error", "-f", "mjpeg", "-i", os.path.join(work, "pictures.mjpeg"),
                            "-pix_fmt", "uyvy422", "-f", "rawvideo", "-y", raw], check=True)
        ref = reference(raw, s["pictures"])
        station_per = (s["cpu"] - upkeep) / max(1, s["pictures"])
        ffmpeg_per = ref / max(1, s["pictures"])
        rows.append(station_per / ffmpeg_per)
        print("round %d: %d pictures, station %.2f ms/picture (%.1f s served, %.1f s idle), ffmpeg %.2f ms/picture,"
              " ratio %.2f" % (round_ + 1, s["pictures"], station_per * 1000, s["cpu"], upkeep, ffmpeg_per * 1000,
                               rows[-1]), flush=True)
finally:
    launcher.send_signal(signal.SIGTERM)
    launcher.wait()
size = statistics.mean(len(j) for j in keep) if keep else 0
print("served picture vs ffmpeg mjpeg: median ratio %.2f (target <= 1.2); mean JPEG %.0f bytes" %
      (statistics.median(rows), size))

launcher, url = start_station(True)
pid = launcher.pid  # `kel` becomes kel-station in the same process
time.sleep(SETTLE)
try:
    cookie = login(url)
    stats = []

    async def many():
        until = time.time() + SETTLE + seconds
        tasks = [asyncio.ensure_future(watch(url, cookie, until, stats=stats)) for _ in range(10)]
        await asyncio.sleep(SETTLE)
        global before
        before = cpu(pid)
        await asyncio.gather(*tasks)
    asyncio.run(many())
    used = cpu(pid) - before
    per_client = statistics.median(got for got, _ in stats) / seconds
    print("10 clients over TLS on 16 cameras: station %.1f%% of a core, %.1f pictures/s per client (median)" %
          (100 * used / seconds, per_client))
finally:
    launcher.send_signal(signal.SIGTERM)
    launcher.wait()
shutil.rmtree(work, ignore_errors=True)
PY
