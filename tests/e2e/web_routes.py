#!/usr/bin/python3
"""Takes one camera's pictures out of the station's web view by every way a browser has: its
snapshot, a live picture and a played-back one over the WebSocket, and its stretch downloaded as
evidence. Writes snapshot.jpg, live.jpg, play.jpg and export.zip into OUT_DIR and prints what it
did as JSON.

usage: web_routes.py URL LOGIN PASSWORD CAMERA DAY OUT_DIR   (DAY as YYYY-MM-DD, plain HTTP)
"""
import asyncio
import http.client
import json
import os
import sys
import urllib.parse

import websockets

url, login, password, camera, day, out = sys.argv[1:7]
host = urllib.parse.urlparse(url).netloc
seen = {}


def request(method, path, body=None, cookie=""):
    c = http.client.HTTPConnection(host, timeout=60)
    headers = {"Cookie": cookie}
    if body is not None:
        headers["Content-Type"] = "application/x-www-form-urlencoded"
    c.request(method, path, body=body, headers=headers)
    r = c.getresponse()
    data = r.read()
    return r.status, r.getheader("Set-Cookie") or "", data


def save(name, data):
    with open(os.path.join(out, name), "wb") as f:
        f.write(data)


async def first_picture(cookie, command, kind):
    async with websockets.connect("ws://" + host + "/ws", extra_headers={"Cookie": cookie},
                                  max_size=16 << 20) as ws:
        await ws.send(command)
        async with asyncio.timeout(30):
            while True:
                message = await ws.recv()
                if isinstance(message, bytes) and message[:1] == kind and len(message) > 16:
                    return message[16:]


status, cookie, _ = request("POST", "/api/login", urllib.parse.urlencode({"login": login, "password": password}))
cookie = cookie.split(";")[0]
seen["login"] = status

status, _, data = request("GET", "/api/snapshot?camera=" + camera, cookie=cookie)
seen["snapshot"] = status
save("snapshot.jpg", data)

save("live.jpg", asyncio.run(first_picture(cookie, "live " + camera, b"L")))
seen["live"] = True

status, _, data = request("GET", "/api/recordings?camera=" + camera + "&day=" + day, cookie=cookie)
recorded = json.loads(data)
seen["stretches"] = len(recorded.get("stretches", []))
start = recorded["dayMs"] + recorded["stretches"][0][0]
end = recorded["dayMs"] + recorded["stretches"][-1][1]
save("play.jpg", asyncio.run(first_picture(cookie, "play %s %d 1" % (camera, start), b"P")))
seen["play"] = True

status, _, data = request("GET", "/api/export?camera=%s&from=%d&to=%d" % (camera, start, end), cookie=cookie)
seen["export"] = status
save("export.zip", data)
print(json.dumps(seen))
