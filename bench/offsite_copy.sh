#!/usr/bin/env bash
# What copying recordings off site costs, against curl uploading the same files to the same
# store in the same run. The store: OpenStack Swift with its S3 layer on loopback (Debian's
# packages, as the tests start it).
#   copier     build/bench/offsite_copy: the station's S3 client on the files (SHA-256 and MD5 of
#              each body, signed requests, 16 MB parts for the larger files, a HEAD to verify
#              every copy)
#   reference  per file `sha256sum` then `curl --aws-sigv4 … -T file` (one PUT, nothing
#              verified: less work than the copier does)
# on six 5 MB files (a segment's usual size) and two of 40 MB, alternating three times; the
# ratios are copier / curl for throughput (MB/s, higher is better) and CPU per MB.
# Then the station itself: a first run records 16 simulated cameras for a while with the store
# unreachable, so its recordings wait in the queue; a second run, recording nothing, copies them:
# its CPU (share of one core) and throughput while it copies, and an idle run's CPU beside it.
#
# Usage: bench/offsite_copy.sh [record-seconds]   (default 60)
#   KEL_BUILD   the build folder (default: build)
# Target: copier throughput >= 0.8 of curl's; the station copying at most a few % of a core above idle.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${KEL_BUILD:-$root/build}"
[ -x "$build/kel" ] && [ -x "$build/bench/offsite_copy" ] || { echo "offsite_copy: build kel and offsite_copy first" >&2; exit 2; }
exec /usr/bin/python3 - "$root" "$build" "${1:-60}" <<'PY'
import hashlib, os, resource, shutil, signal, socket, statistics, struct, subprocess, sys, tempfile, time

root, build, record_seconds = sys.argv[1], sys.argv[2], int(sys.argv[3])
kel = os.path.join(build, "kel")
work = tempfile.mkdtemp(dir=os.path.join(build, "test-tmp") if os.path.isdir(os.path.join(build, "test-tmp")) else None)
servers = []


def free_port():
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


def cpu(pid):
    fields = open("/proc/%d/stat" % pid).read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def children_cpu():
    r = resource.getrusage(resource.RUSAGE_CHILDREN)
    return r.ru_utime + r.ru_stime


port = free_port()
endpoint = "http://127.0.0.1:%d" % port
base = os.path.join(work, "swift")
subprocess.run(["/usr/bin/python3", os.path.join(root, "tests/support/swift_s3.py"), base, str(port),
                str(free_port()), str(free_port()), str(free_port())], check=True)
for name in ("account", "container", "object", "proxy"):
    servers.append(subprocess.Popen(["/usr/bin/swift-%s-server" % name, "%s/etc/%s-server.conf" % (base, name), "-v"],
                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
netrc = os.path.join(work, "netrc")
open(netrc, "w").write("machine 127.0.0.1\nlogin test:tester\npassword testing\n")
signed = ["curl", "-s", "--netrc-file", netrc, "--aws-sigv4", "aws:amz:us-east-1:s3"]


def status(args):
    return subprocess.run(signed + ["-o", "/dev/null", "-w", "%{http_code}"] + args, capture_output=True,
                          text=True).stdout


try:
    for _ in range(600):
        if status(["-H", "x-amz-content-sha256: UNSIGNED-PAYLOAD", endpoint + "/"]) == "200":
            break
        time.sleep(0.1)
    for _ in range(100):
        if status(["-H", "x-amz-content-sha256: UNSIGNED-PAYLOAD", "-X", "PUT", endpoint + "/bench"]) == "200":
            break
        time.sleep(0.2)

    files = []
    for i, size in enumerate([5 << 20] * 6 + [40 << 20] * 2):
        path = os.path.join(work, "file%d.avi" % i)
        with open(path, "wb") as f:
            f.write(os.urandom(size))
        files.append(path)
    total_mb = sum(os.path.getsize(f) for f in files) / (1 << 20)

    def copier():
        subprocess.run([os.path.join(build, "bench/offsite_copy"), endpoint, "bench", "test:tester", "testing"] + files,
                       check=True)

    def reference():
        for path in files:
            digest = subprocess.run(["sha256sum", path], capture_output=True, text=True, check=True).stdout.split()[0]
            code = status(["-H", "x-amz-content-sha256: " + digest, "-T", path,
                           endpoint + "/bench/curl-" + os.path.basename(path)])
            if code != "200":
                raise SystemExit("curl upload: HTTP " + code)

    results = {"copier": [], "curl": []}
    for _ in range(3):
        for name, run in (("copier", copier), ("curl", reference)):
            c0, t0 = children_cpu(), time.monotonic()
            run()
            wall, used = time.monotonic() - t0, children_cpu() - c0
            results[name].append((total_mb / wall, used / total_mb * 1000))
    print("offsite_copy: %.0f MB in 8 files per run, alternating copier and curl 3 times" % total_mb)
    med = {}
    for name, runs in results.items():
        med[name] = (statistics.median(r[0] for r in runs), statistics.median(r[1] for r in runs))
        print("  %-7s throughput %s MB/s (median %.0f)   CPU %s ms/MB (median %.1f)" % (
            name, ", ".join("%.0f" % r[0] for r in runs), med[name][0], ", ".join("%.1f" % r[1] for r in runs),
            med[name][1]))
    print("  copier / curl: throughput %.2f (target >= 0.8), CPU per MB %.2f" % (
        med["copier"][0] / med["curl"][0], med["copier"][1] / med["curl"][1]))

    # The station: recordings made while the store was away, copied by the next run.
    folder = os.path.join(work, "station")
    os.makedirs(os.path.join(folder, "run"), mode=0o700)
    os.symlink(os.path.join(build, "Skins"), os.path.join(folder, "Skins"))
    registry = os.path.join(folder, "registry.sqlite")
    subprocess.run([kel, "--registry", registry, "reg", "defaults"], check=True, capture_output=True)
    hexed = lambda b: ",".join("%02x" % x for x in b)

    def configure(record, s3_endpoint, s3=True):
        records = b""
        for n in range(1, 17):
            raw = ("Kamera %d" % n).encode("cp1250")
            records += bytes([len(raw)]) + raw.ljust(30, b"\0") + struct.pack("<B8i", 1, 0, 25, 0, 128, 0, 128, 128, 0)
        reg = os.path.join(folder, "station.reg")
        with open(reg, "w", newline="\r\n") as f:
            f.write("Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\KEL2]\n")
            f.write('"StartMode"=dword:00000003\n"AppMode"=dword:00000001\n"AutoLogin"=dword:00000001\n')
            f.write('"HDDs"=hex:01\n"VideoFilesSize"=dword:00000000\n')
            f.write('"Cameras"=hex:%s\n"Scheduler"=hex:%s\n' % (hexed(records), hexed((b"\1" if record else b"\0") * 2688)))
            f.write('"S3"=dword:%08x\n"S3Endpoint"="%s"\n"S3Bucket"="bench"\n"S3KeyId"="test:tester"\n'
                    '"S3Secret"="testing"\n"S3Prefix"="stacja"\n' % (1 if s3 else 0, s3_endpoint))
        subprocess.run([kel, "--registry", registry, "reg", "import", reg], check=True, capture_output=True)

    def start():
        env = dict(os.environ, XDG_RUNTIME_DIR=os.path.join(folder, "run"))
        return subprocess.Popen([kel, "--headless", "--yes", "--workdir", folder, "--registry", registry, "--serial",
                                 os.path.join(folder, "no-tty")], env=env, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL)

    def log():
        try:
            return open(os.path.join(folder, "Server.log"), encoding="utf-8", errors="replace").read()
        except FileNotFoundError:
            return ""

    configure(True, "http://127.0.0.1:%d" % free_port())  # nobody there: everything waits
    p = start()
    time.sleep(record_seconds)
    p.send_signal(signal.SIGTERM)
    p.wait(120)
    videos = os.path.join(folder, "drive_c", "KEL2_Videos")
    backlog = [os.path.join(d, f) for d, _, fs in os.walk(videos) for f in fs if f.endswith(".avi")]
    backlog_mb = sum(os.path.getsize(f) for f in backlog) / (1 << 20)

    configure(False, endpoint)
    said = log().count("wszystkie nagrania skopiowane")
    waiting = log().count("Kopie poza stacja: czeka")
    p = start()
    while log().count("Kopie poza stacja: czeka") == waiting:  # started, the backlog found
        time.sleep(0.01)
    c0, t0 = cpu(p.pid), time.monotonic()
    while log().count("wszystkie nagrania skopiowane") == said and time.monotonic() - t0 < 600:
        time.sleep(0.05)
    wall, used = time.monotonic() - t0, cpu(p.pid) - c0
    time.sleep(2)
    c1 = cpu(p.pid)
    time.sleep(10)
    idle = (cpu(p.pid) - c1) / 10
    p.send_signal(signal.SIGTERM)
    p.wait(120)
    print("station: %d recordings (%.0f MB) of 16 cameras copied in %.1f s (%.0f MB/s), "
          "%.1f %% of a core while copying, %.1f %% idle after" % (
              len(backlog), backlog_mb, wall, backlog_mb / wall, 100 * used / wall, 100 * idle))
finally:
    for s in servers:
        s.terminate()
    for s in servers:
        s.wait(10)
    shutil.rmtree(work, ignore_errors=True)
PY
