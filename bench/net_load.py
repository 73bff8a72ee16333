#!/usr/bin/python3
"""Load on the TCP server: N remote viewers polling @gcs as fast as they can against a headless
kel with 16 active simulated cameras, all recorded continuously to drive C:. The station first
runs the same time without viewers, for its CPU alone. Reports the pictures each viewer received
against the new pictures the cameras delivered meanwhile (target: every viewer >= 95%), kel's CPU
with viewers against without (target: < 1.5x), its memory, and checks afterwards that every slot
came back (N fresh clients all greeted) and that kel ends cleanly.

    bench/net_load.py --kel build/kel --skins build/Skins [--clients 10] [--seconds 60] [--churn N]

With --churn, N connections are then opened and closed as fast as four threads can (each reads the
greeting), and kel's resident memory before and after is printed (target: within a few MB).
"""

import argparse
import os
import re
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import time


def reg_with(export, port):
    """The exported store with every camera active and the server on `port`."""
    text = export.replace("\\\r\n", "").replace("\\\n", "")
    m = re.search(r'"Cameras"=hex:([0-9a-f, ]+)', text)
    cams = bytearray(int(b, 16) for b in m.group(1).replace(" ", "").split(","))
    for n in range(16):
        cams[n * 64 + 31] = 1
    hexed = ",".join("%02x" % b for b in cams)
    return ("Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\KEL2]\r\n"
            '"TCP"=dword:00000001\r\n"Port"=dword:%08x\r\n"Cameras"=hex:%s\r\n' % (port, hexed) +
            '"Scheduler"=hex:%s\r\n"HDDs"=hex:%s\r\n' %
            (",".join(["01"] * 2688), ",".join(["01"] + ["00"] * 24)))


def free_port():
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


def read_exact(sock, n):
    out = bytearray()
    while len(out) < n:
        chunk = sock.recv(n - len(out))
        if not chunk:
            raise ConnectionError("closed")
        out += chunk
    return bytes(out)


def read_line(sock):
    out = bytearray()
    while not out.endswith(b"\r\n"):
        out += read_exact(sock, 1)
    return bytes(out[:-2])


def viewer(port, until, totals, index, errors):
    try:
        s = socket.create_connection(("127.0.0.1", port))
        if read_line(s) != b"KEL2.0":
            raise RuntimeError("no greeting")
        s.sendall(b"@gud\nkel\nqxv\n")
        if read_line(s) != b"@ufo":
            raise RuntimeError("login refused")
        read_exact(s, 16)
        s.sendall(b"@svc\n" + b"\x01" * 16)
        pictures = polls = 0
        while time.monotonic() < until:
            s.sendall(b"@gcs\n")
            if read_line(s) != b"@ufo":
                raise RuntimeError("bad reply")
            (length,) = struct.unpack(">I", read_exact(s, 4))
            payload = read_exact(s, length)
            at = 21
            while at + 8 <= len(payload):
                _, size = struct.unpack("<II", payload[at:at + 8])
                pictures += size > 0
                at += 8 + size
            polls += 1
        s.close()
        totals[index] = (pictures, polls)
    except Exception as e:  # noqa: BLE001 - reported, not hidden
        errors.append(repr(e))


def cpu_seconds(pid):
    fields = open("/proc/%d/stat" % pid).read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def rss_kib(pid):
    for line in open("/proc/%d/status" % pid):
        if line.startswith("VmRSS:"):
            return int(line.split()[1])
    return 0


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--kel", required=True)
    ap.add_argument("--skins", required=True)
    ap.add_argument("--clients", type=int, default=10)
    ap.add_argument("--seconds", type=int, default=60)
    ap.add_argument("--churn", type=int, default=0)
    a = ap.parse_args()

    with tempfile.TemporaryDirectory(dir=os.path.dirname(os.path.abspath(a.kel))) as work:
        registry = os.path.join(work, "registry.sqlite")
        os.symlink(os.path.abspath(a.skins), os.path.join(work, "Skins"))
        subprocess.run([a.kel, "--registry", registry, "reg", "defaults"], check=True)
        export = subprocess.run([a.kel, "--registry", registry, "reg", "export"], check=True,
                                capture_output=True, text=True).stdout
        port = free_port()
        with open(os.path.join(work, "load.reg"), "w", newline="") as f:
            f.write(reg_with(export, port))
        subprocess.run([a.kel, "--registry", registry, "reg", "import", os.path.join(work, "load.reg")], check=True)
        report = os.path.join(work, "capture.txt")
        env = dict(os.environ, XDG_RUNTIME_DIR=work, QT_QPA_PLATFORM="", KEL_TEST_CAPTURE_REPORT=report)
        kel = subprocess.Popen([a.kel, "--headless", "--yes", "--workdir", work, "--registry", registry,
                                "--serial", os.path.join(work, "no-tty")], env=env)
        for _ in range(600):
            try:
                socket.create_connection(("127.0.0.1", port)).close()
                break
            except OSError:
                time.sleep(0.1)
        started = time.monotonic()  # the cameras deliver from about now on
        time.sleep(3)  # the recorder's first pictures
        cpu_alone = cpu_seconds(kel.pid)
        time.sleep(a.seconds)
        cpu_alone = cpu_seconds(kel.pid) - cpu_alone

        totals, errors = [None] * a.clients, []
        cpu0, t0 = cpu_seconds(kel.pid), time.monotonic()
        until = t0 + a.seconds
        threads = [threading.Thread(target=viewer, args=(port, until, totals, i, errors)) for i in range(a.clients)]
        for t in threads:
            t.start()
        rss = []
        while time.monotonic() < until:
            rss.append(rss_kib(kel.pid))
            time.sleep(5)
        for t in threads:
            t.join()
        elapsed = time.monotonic() - t0
        cpu = cpu_seconds(kel.pid) - cpu0
        pictures = sum(p for p, _ in filter(None, totals))
        polls = sum(q for _, q in filter(None, totals))

        churn = None
        if a.churn:
            time.sleep(1)
            before = rss_kib(kel.pid)

            def cycles(n):
                for _ in range(n):
                    s = socket.create_connection(("127.0.0.1", port))
                    read_line(s)
                    s.close()

            t_churn = time.monotonic()
            workers = [threading.Thread(target=cycles, args=(a.churn // 4,)) for _ in range(4)]
            for t in workers:
                t.start()
            for t in workers:
                t.join()
            t_churn = time.monotonic() - t_churn
            time.sleep(2)
            churn = (a.churn // 4 * 4, t_churn, before, rss_kib(kel.pid))

        # Every slot must be free again: a full set of new clients is greeted.
        time.sleep(1)
        fresh = [socket.create_connection(("127.0.0.1", port)) for _ in range(a.clients)]
        greeted = sum(read_line(s) == b"KEL2.0" for s in fresh)
        for s in fresh:
            s.close()
        stopped = time.monotonic()
        kel.send_signal(signal.SIGTERM)
        code = kel.wait(timeout=120)
        delivered = sum(int(line.split()[1]) for line in open(report))
        expected = delivered * elapsed / (stopped - started)  # new pictures while the viewers polled
        received = sorted(p for p, _ in filter(None, totals))

    print("clients %d, %.0f s: %d pictures (%.0f/s), %d polls (%.0f/s)" %
          (a.clients, elapsed, pictures, pictures / elapsed, polls, polls / elapsed))
    print("kel CPU: %.1f s (%.0f%% of one core); alone %.1f s; with viewers / alone %.2f (target < 1.5)" %
          (cpu, 100 * cpu / elapsed, cpu_alone, cpu / cpu_alone if cpu_alone else float("inf")))
    if received:
        print("pictures per viewer: least %d, median %d, of about %.0f new (%.0f%% / %.0f%%; target >= 95%%)" %
              (received[0], received[len(received) // 2], expected, 100 * received[0] / expected,
               100 * received[len(received) // 2] / expected))
    print("kel RSS KiB every 5 s: %s" % " ".join(map(str, rss)))
    if churn:
        print("churn: %d connections in %.0f s; kel RSS %.1f MB before, %.1f MB after (%+.1f MB)" %
              (churn[0], churn[1], churn[2] / 1024, churn[3] / 1024, (churn[3] - churn[2]) / 1024))
    print("errors: %d %s" % (len(errors), errors[:3]))
    print("fresh clients greeted after the run: %d of %d; kel exit status %d" % (greeted, a.clients, code))
    return 0 if not errors and greeted == a.clients and code == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
