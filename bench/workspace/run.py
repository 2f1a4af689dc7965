#!/usr/bin/env python3
"""The workspace on a large CSV: time to the first rows, page fetch latency, sort and filter,
beside `tabvora query` running the same statements.

    bench/workspace/run.py [FOLDER]     # FOLDER default /tmp/tabvora-workspace-bench; ROWS=10000000

FOLDER/rows.csv (id, name, amount, city) is written once and kept between runs.
"""
import http.client
import json
import os
import random
import statistics
import subprocess
import sys
import time
import urllib.parse

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from bench_support import release_tabvora  # noqa: E402

ROWS = int(os.environ.get("ROWS", "10000000"))
FETCHES = 200
CITIES = ["Oslo", "Lima", "Pune", "Kobe", "Nice", "Graz", "Baku", "Cork"]


def generate(path):
    if os.path.exists(path):
        return
    random.seed(7)
    with open(path + ".part", "w") as out:
        out.write("id,name,amount,city\n")
        for i in range(ROWS):
            out.write(f"{i},name{i % 100003},{random.randint(0, 99999) / 100},{CITIES[i % 8]}\n")
    os.rename(path + ".part", path)


class Workspace:
    def __init__(self, tabvora, path):
        self.started = time.perf_counter()
        self.process = subprocess.Popen([tabvora, "open", path, "--no-browser"], stdout=subprocess.PIPE, text=True)
        url = urllib.parse.urlsplit(self.process.stdout.readline().strip())
        self.host, self.port = url.hostname, url.port
        connection = http.client.HTTPConnection(self.host, self.port)
        connection.request("GET", "/?" + url.query)
        answer = connection.getresponse()
        answer.read()
        self.cookie = answer.getheader("Set-Cookie").split(";")[0]
        self.connection = connection

    def get(self, path, **parameters):
        started = time.perf_counter()
        self.connection.request("GET", f"{path}?{urllib.parse.urlencode(parameters)}",
                                headers={"Cookie": self.cookie, "Host": f"{self.host}:{self.port}"})
        answer = self.connection.getresponse()
        body = answer.read()
        assert answer.status == 200, body[:200]
        return time.perf_counter() - started, json.loads(body)

    def close(self):
        self.process.terminate()
        self.process.wait(timeout=30)


def query_seconds(tabvora, path, sql):
    started = time.perf_counter()
    subprocess.run([tabvora, "query", path, sql, "--limit", "500"], check=True, stdout=subprocess.DEVNULL)
    return time.perf_counter() - started


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else "/tmp/tabvora-workspace-bench"
    os.makedirs(folder, exist_ok=True)
    path = os.path.join(folder, "rows.csv")
    generate(path)
    tabvora = release_tabvora()
    workspace = Workspace(tabvora, path)
    try:
        _, first = workspace.get("/api/rows", table="rows", limit=500)
        print(f"first rows: {time.perf_counter() - workspace.started:.3f} s after start ({first['total']} rows)")
        total = first["total"]
        for name, offset in (("top", 0), ("middle", total // 2), ("end", max(0, total - 500))):
            times = sorted(workspace.get("/api/rows", table="rows", offset=offset, limit=500)[0] for _ in range(FETCHES))
            print(f"page at the {name}: p50 {statistics.median(times) * 1000:.1f} ms, "
                  f"p95 {times[int(FETCHES * 0.95)] * 1000:.1f} ms")
        sort, _ = workspace.get("/api/rows", table="rows", sort="amount", order="desc", limit=500)
        filters = json.dumps([{"column": "city", "op": "=", "value": "Lima"}])
        filtered, _ = workspace.get("/api/rows", table="rows", filters=filters, limit=500)
    finally:
        workspace.close()
    load = query_seconds(tabvora, path, "SELECT 1")
    sort_query = query_seconds(tabvora, path, 'SELECT * FROM "rows" ORDER BY amount DESC LIMIT 500') - load
    filter_query = query_seconds(tabvora, path, "SELECT * FROM \"rows\" WHERE city = 'Lima' LIMIT 500") - load
    print(f"sort: {sort:.3f} s (tabvora query, past its {load:.2f} s open: {sort_query:.3f} s)")
    print(f"filter: {filtered:.3f} s (tabvora query, past its open: {filter_query:.3f} s)")


if __name__ == "__main__":
    main()
