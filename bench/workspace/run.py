#!/usr/bin/env python3
"""The workspace on a large CSV: time to the first rows, the whole open behind them, page
fetch latency, sort and filter, beside `tabvora query` running the same statements.

    bench/workspace/run.py [FOLDER]     # FOLDER default /tmp/tabvora-workspace-bench; ROWS=10000000

FOLDER/rows-ROWS.csv (id, name, amount, city) is written once and kept between runs.
"""
import http.client
import json
import os
import random
import resource
import statistics
import subprocess
import sys
import time
import urllib.parse

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from bench_support import release_tabvora  # noqa: E402

ROWS = int(os.environ.get("ROWS", "10000000"))
FETCHES = int(os.environ.get("FETCHES", "200"))  # 0 skips the page latencies
REPEATS = int(os.environ.get("REPEATS", "10"))  # copies of a statement in one `tabvora query`
ROUNDS = int(os.environ.get("ROUNDS", "3"))  # of the grid, the console and `tabvora query`, in turn
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

    def request(self, method, path, body=None, headers=None):
        """One request; the connection is made again when the server closed an idle one."""
        headers = dict(headers or {}, Cookie=self.cookie, Host=f"{self.host}:{self.port}")
        for attempt in (0, 1):
            try:
                self.connection.request(method, path, body=body, headers=headers)
                answer = self.connection.getresponse()
                return answer.status, answer.read()
            except (ConnectionError, http.client.RemoteDisconnected):
                if attempt:
                    raise
                self.connection.close()
                self.connection = http.client.HTTPConnection(self.host, self.port)

    def get(self, path, **parameters):
        started = time.perf_counter()
        status, body = self.request("GET", f"{path}?{urllib.parse.urlencode(parameters)}")
        assert status == 200, body[:200]
        return time.perf_counter() - started, json.loads(body)

    def post(self, path, body):
        started = time.perf_counter()
        status, body = self.request("POST", path, json.dumps(body),
                                    {"Origin": f"http://{self.host}:{self.port}", "Content-Type": "application/json"})
        assert status == 200, body[:200]
        return time.perf_counter() - started, json.loads(body)

    def cpu_seconds(self):
        """Processor seconds the server has used so far (user + system, all its threads)."""
        with open(f"/proc/{self.process.pid}/stat") as stat:
            fields = stat.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")

    def timed(self, call, *arguments, **parameters):
        """Wall and processor seconds the server took for one request."""
        before = self.cpu_seconds()
        seconds, answer = call(*arguments, **parameters)
        return seconds, self.cpu_seconds() - before, answer

    def wait_loaded(self):
        """Seconds from start until the whole file is loaded, polling as the page does."""
        while True:
            _, loading = self.get("/api/loading")
            if not loading["loading"]:
                assert loading["failed"] is None, loading["failed"]
                return time.perf_counter() - self.started
            time.sleep(0.1)

    def close(self):
        self.process.terminate()
        self.process.wait(timeout=30)


def query_cpu_seconds(tabvora, path, sql, limit):
    """Processor seconds of `tabvora query` (its open and the statement), from the kernel's
    count for the child: steadier than wall time on a shared machine."""
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    subprocess.run([tabvora, "query", path, sql, "--limit", str(limit)], check=True, stdout=subprocess.DEVNULL)
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    return (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)


def statement_seconds(tabvora, path, sql, times=REPEATS):
    """What one run of `sql` adds to `tabvora query`: the statement once, then `times` copies
    of it joined by UNION ALL in one run, so that the open (the same in both) drops out of the
    difference. The statement runs on one thread, so its processor time is its wall time."""
    single = f"SELECT * FROM ({sql})"
    once = statistics.median(query_cpu_seconds(tabvora, path, single, 500) for _ in range(3))
    many = " UNION ALL ".join([single] * times)
    repeated = statistics.median(query_cpu_seconds(tabvora, path, many, 500 * times) for _ in range(3))
    return (repeated - once) / (times - 1)


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else "/tmp/tabvora-workspace-bench"
    os.makedirs(folder, exist_ok=True)
    path = os.path.join(folder, f"rows-{ROWS}.csv")
    generate(path)
    tabvora = release_tabvora()
    workspace = Workspace(tabvora, path)
    try:
        # As the page does: the tables, then the first page of the first one.
        table = workspace.get("/api/tables")[1][0]["name"]
        _, first = workspace.get("/api/rows", table=table, limit=500)
        lower = "+" if first["totalIsLowerBound"] else ""
        print(f"first rows: {time.perf_counter() - workspace.started:.3f} s after start ({first['total']}{lower} rows)")
        print(f"whole file loaded: {workspace.wait_loaded():.1f} s after start")
        total = workspace.get("/api/rows", table=table, limit=1)[1]["total"]
        print(f"rows: {total}")
        for name, offset in (("top", 0), ("middle", total // 2), ("end", max(0, total - 500))) if FETCHES else ():
            times = sorted(workspace.get("/api/rows", table=table, offset=offset, limit=500)[0] for _ in range(FETCHES))
            print(f"page at the {name}: p50 {statistics.median(times) * 1000:.1f} ms, "
                  f"p95 {times[int(FETCHES * 0.95)] * 1000:.1f} ms")
        # The grid's first page of a sort (with the count of its rows) and of a filter (as the
        # page asks for it: the rows at once, then the same page with the count of the rows the
        # filter keeps), and the bare statements through the console, on the same loaded data.
        quoted = '"' + table + '"'
        statements = {"sort": f"SELECT * FROM {quoted} ORDER BY amount DESC LIMIT 500",
                      "filter": f"SELECT * FROM {quoted} WHERE city = 'Lima' LIMIT 500"}
        lima = json.dumps([{"column": "city", "op": "=", "value": "Lima"}])
        grid_requests = {"sort": lambda: workspace.timed(workspace.get, "/api/rows", table=table, sort="amount",
                                                         order="desc", limit=500),
                         "filter": lambda: workspace.timed(workspace.get, "/api/rows", table=table, limit=500,
                                                           filters=lima, count="later")}
        # The grid, the console and `tabvora query` in turn, ROUNDS times: a shared machine's
        # speed drifts by as much as twice within minutes, so each ratio is of figures taken
        # side by side. Before the deeper pages, which keep what a sort selected.
        for name, sql in statements.items():
            ratios = []
            for round_number in range(ROUNDS):
                grid_wall, grid_cpu, _ = grid_requests[name]()
                console_wall, console_cpu, _ = workspace.timed(workspace.post, "/api/query", {"sql": sql})
                alone = statement_seconds(tabvora, path, sql)
                ratios.append(grid_cpu / max(alone, 0.01))
                print(f"{name}, round {round_number + 1}: grid {grid_wall:.3f} s ({grid_cpu:.2f} s of processor), "
                      f"console {console_wall:.3f} s ({console_cpu:.2f}); the statement through tabvora query "
                      f"{alone:.3f} s of processor: grid ×{ratios[-1]:.2f}")
            print(f"{name}: grid ×{statistics.median(ratios):.2f} the statement through tabvora query "
                  f"(median of {ROUNDS} rounds, processor time)")
        filter_counted = workspace.get("/api/rows", table=table, limit=500, filters=lima)[0]
        print(f"filter, the same page with its count after the first: {filter_counted:.3f} s")
        # Deeper pages of the same sort and filter, as scrolling asks for them: the first one
        # of the sort selects its rows once, every later one reads what was selected.
        kinds = {"sort": {"sort": "amount", "order": "desc"},
                 "filter": {"filters": json.dumps([{"column": "city", "op": "=", "value": "Lima"}])}}
        deeper = {}
        for name, parameters in kinds.items():
            kept = workspace.get("/api/rows", table=table, limit=1, **parameters)[1]["total"]
            times = [workspace.get("/api/rows", table=table, limit=500, offset=(kept * i) // 10, **parameters)[0]
                     for i in range(1, 10)]
            deeper[name] = (times[0], statistics.median(times[1:]))
        # The count of the filter alone, as the grid's counted page of it does.
        count_seconds = workspace.post("/api/query", {"sql": f"SELECT COUNT(*) FROM {quoted} WHERE city = 'Lima'"})[0]
        print(f"filter's count alone, console: {count_seconds:.3f} s")
        for name, sql in statements.items():
            print(f"{name}, deeper pages: first {deeper[name][0]:.3f} s, then p50 {deeper[name][1] * 1000:.1f} ms")
    finally:
        workspace.close()


if __name__ == "__main__":
    main()
