#!/usr/bin/python3
"""Writes a one-node object store with an S3 layer into BASE: the servers' settings in
BASE/etc and their rings, the disk BASE/srv/node/d1. The four servers are then started with
  swift-{account,container,object,proxy}-server BASE/etc/<name>-server.conf -v
and the S3 layer answers on 127.0.0.1:PROXY: access key "test:tester", secret "testing",
region us-east-1, path-style addresses.

usage: swift_s3.py BASE PROXY ACCOUNT CONTAINER OBJECT   (the ports)"""
import os
import sys

from swift.common.ring import RingBuilder

base, proxy, account, container, obj = sys.argv[1], *map(int, sys.argv[2:6])
etc = os.path.join(base, "etc")
os.makedirs(etc, exist_ok=True)
os.makedirs(os.path.join(base, "srv", "node", "d1"), exist_ok=True)
user = "user = root\n" if os.getuid() == 0 else ""

with open(os.path.join(etc, "swift.conf"), "w") as f:
    f.write("[swift-hash]\nswift_hash_path_prefix = kel\nswift_hash_path_suffix = test\n\n"
            "[storage-policy:0]\nname = Policy-0\ndefault = yes\n")

for name, port in (("account", account), ("container", container), ("object", obj)):
    with open(os.path.join(etc, name + "-server.conf"), "w") as f:
        f.write(f"[DEFAULT]\nbind_ip = 127.0.0.1\nbind_port = {port}\nworkers = 0\n{user}"
                f"swift_dir = {etc}\ndevices = {base}/srv/node\nmount_check = false\n\n"
                f"[pipeline:main]\npipeline = {name}-server\n\n"
                f"[app:{name}-server]\nuse = egg:swift#{name}\n")
    builder = RingBuilder(8, 1, 1)
    builder.add_dev({"id": 0, "region": 1, "zone": 1, "ip": "127.0.0.1", "port": port,
                     "device": "d1", "weight": 100})
    builder.rebalance()
    builder.get_ring().save(os.path.join(etc, name + ".ring.gz"))

filters = ["catch_errors", "gatekeeper", "healthcheck", "proxy-logging", "cache", "listing_formats",
           "s3api", "tempauth", "copy", "slo", "dlo"]
with open(os.path.join(etc, "proxy-server.conf"), "w") as f:
    f.write(f"[DEFAULT]\nbind_ip = 127.0.0.1\nbind_port = {proxy}\nworkers = 0\n{user}"
            f"swift_dir = {etc}\n\n"
            "[pipeline:main]\npipeline = " + " ".join(filters) + " proxy-logging proxy-server\n\n"
            "[app:proxy-server]\nuse = egg:swift#proxy\naccount_autocreate = true\n\n")
    for name in filters:
        egg = {"cache": "memcache"}.get(name, name.replace("-", "_"))
        f.write(f"[filter:{name}]\nuse = egg:swift#{egg}\n")
        if name == "cache":
            f.write("memcache_servers = 127.0.0.1:11211\n")
        if name == "s3api":
            f.write("location = us-east-1\n")
        if name == "tempauth":
            f.write("user_test_tester = testing .admin\n")
        f.write("\n")
