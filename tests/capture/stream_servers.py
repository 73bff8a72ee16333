#!/usr/bin/env python3
"""Camera-like servers on loopback for the map board's tests.

  stream_servers.py rtsp PORT              an RTSP server (GStreamer), /test: 320x240 H.264 at 10 a second
  stream_servers.py rtsp-hd PORT FILE      an RTSP server, /hd: 40 s of 1920x1080 H.264 at 25 a second, a
                                           key frame every 2 s (made into FILE first), one stream shared by every client
  stream_servers.py mjpeg PORT [PASSWORD]  an HTTP MJPEG stream at /video.mjpg (basic auth "admin" with PASSWORD)
  stream_servers.py garbage PORT           answers every connection with random bytes
  stream_servers.py huge PORT              an MJPEG stream whose pictures turn undecodable after a second
  stream_servers.py silent PORT            takes connections and never answers

Each prints "ready" on standard output once it listens, and runs until killed.
"""
import base64
import os
import socket
import socketserver
import subprocess
import sys
import threading
import time


def rtsp(port, hd=None):
    import gi
    gi.require_version("Gst", "1.0")
    gi.require_version("GstRtspServer", "1.0")
    from gi.repository import GLib, Gst, GstRtspServer

    Gst.init(None)
    server = GstRtspServer.RTSPServer()
    server.set_service(str(port))
    factory = GstRtspServer.RTSPMediaFactory()
    if hd:
        # Encoded once beforehand, so that serving costs next to nothing on a busy machine; every
        # client gets the same packets, so what one records can be compared with another's copy.
        movie = hd
        subprocess.run(["ffmpeg", "-v", "error", "-f", "lavfi", "-i", "testsrc2=size=1920x1080:rate=25", "-t", "40",
                        "-c:v", "libx264", "-preset", "ultrafast", "-tune", "zerolatency", "-g", "50", "-b:v", "2M",
                        "-pix_fmt", "yuv420p", "-y", movie], check=True)
        factory.set_launch(
            "( filesrc location=%s ! qtdemux ! h264parse ! rtph264pay name=pay0 pt=96 config-interval=-1 )" % movie)
        factory.set_shared(True)
        server.get_mount_points().add_factory("/hd", factory)
    else:
        factory.set_launch(
            "( videotestsrc is-live=true pattern=ball ! video/x-raw,width=320,height=240,framerate=10/1 "
            "! x264enc tune=zerolatency speed-preset=ultrafast key-int-max=10 ! rtph264pay name=pay0 pt=96 )")
        factory.set_shared(False)  # a pipeline for each client: TCP and UDP clients never share one
        server.get_mount_points().add_factory("/test", factory)
    if server.attach(None) == 0:
        sys.exit("cannot listen")
    print("ready", flush=True)
    GLib.MainLoop().run()


def jpeg_frames():
    """Two seconds of test pictures as separate JPEG files."""
    data = subprocess.run(
        ["ffmpeg", "-v", "error", "-f", "lavfi", "-i", "testsrc=size=320x240:rate=10", "-t", "2",
         "-f", "image2pipe", "-c:v", "mjpeg", "-q:v", "5", "-"],
        check=True, stdout=subprocess.PIPE).stdout
    frames, start = [], 0
    while True:
        end = data.find(b"\xff\xd9", start)
        if end < 0:
            return frames
        frames.append(data[start:end + 2])
        start = end + 2


def mjpeg(port, password):
    frames = jpeg_frames()
    expected = "Basic " + base64.b64encode(("admin:" + password).encode()).decode() if password else None

    class Handler(socketserver.StreamRequestHandler):
        def handle(self):
            head = b""
            while b"\r\n\r\n" not in head:
                chunk = self.request.recv(4096)
                if not chunk:
                    return
                head += chunk
            lines = head.decode("latin1").split("\r\n")
            auth = [l.split(":", 1)[1].strip() for l in lines if l.lower().startswith("authorization:")]
            if expected and (not auth or auth[0] != expected):
                self.wfile.write(b"HTTP/1.0 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"cam\"\r\n"
                                 b"Content-Length: 0\r\n\r\n")
                return
            self.wfile.write(b"HTTP/1.0 200 OK\r\nContent-Type: multipart/x-mixed-replace;boundary=frame\r\n\r\n")
            i = 0
            try:
                while True:
                    f = frames[i % len(frames)]
                    self.wfile.write(b"--frame\r\nContent-Type: image/jpeg\r\nContent-Length: %d\r\n\r\n" % len(f))
                    self.wfile.write(f + b"\r\n")
                    i += 1
                    time.sleep(0.1)
            except (BrokenPipeError, ConnectionResetError):
                pass

    serve(port, Handler)


def huge(port):
    """An MJPEG stream that, after a second of good pictures, sends pictures that claim 65000 x 65000
    pixels: packets go on coming, no picture does."""
    good = jpeg_frames()
    frames = []
    for f in good[:5]:
        sof = f.find(b"\xff\xc0")
        frames.append(f[:sof + 5] + (65000).to_bytes(2, "big") * 2 + f[sof + 9:])

    class Handler(socketserver.StreamRequestHandler):
        def handle(self):
            self.request.recv(4096)
            self.wfile.write(b"HTTP/1.0 200 OK\r\nContent-Type: multipart/x-mixed-replace;boundary=frame\r\n\r\n")
            try:
                for i in range(3000):
                    f = good[i] if i < 10 else frames[i % len(frames)]
                    self.wfile.write(b"--frame\r\nContent-Type: image/jpeg\r\nContent-Length: %d\r\n\r\n" % len(f))
                    self.wfile.write(f + b"\r\n")
                    time.sleep(0.1)
            except (BrokenPipeError, ConnectionResetError):
                pass

    serve(port, Handler)


def garbage(port):
    class Handler(socketserver.BaseRequestHandler):
        def handle(self):
            try:
                for _ in range(200):
                    self.request.sendall(os.urandom(4096))
                    time.sleep(0.01)
            except OSError:
                pass

    serve(port, Handler)


def silent(port):
    """Takes the connection and the request, and never answers."""
    class Handler(socketserver.BaseRequestHandler):
        def handle(self):
            try:
                while self.request.recv(4096):
                    pass
            except OSError:
                pass

    serve(port, Handler)


def serve(port, handler):
    socketserver.ThreadingTCPServer.allow_reuse_address = True
    socketserver.ThreadingTCPServer.daemon_threads = True
    server = socketserver.ThreadingTCPServer(("127.0.0.1", port), handler)
    print("ready", flush=True)
    server.serve_forever()


if __name__ == "__main__":
    kind, port = sys.argv[1], int(sys.argv[2])
    if kind == "rtsp":
        rtsp(port)
    elif kind == "rtsp-hd":
        rtsp(port, hd=sys.argv[3])
    elif kind == "mjpeg":
        mjpeg(port, sys.argv[3] if len(sys.argv) > 3 else "")
    elif kind == "garbage":
        garbage(port)
    elif kind == "huge":
        huge(port)
    elif kind == "silent":
        silent(port)
    else:
        sys.exit(__doc__)
