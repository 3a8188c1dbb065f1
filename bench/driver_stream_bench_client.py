#!/usr/bin/python3
"""Reads an MJPEG stream (multipart/x-mixed-replace) with N clients at once
for S seconds and prints one line of figures: distinct frames per client,
frame age from X-Timestamp where the server sends it, and the server's CPU
(utime + stime from /proc) and resident size over the same window.

  driver_stream_bench_client.py read PORT CLIENTS SECONDS SERVER_PID [PATH]
  driver_stream_bench_client.py summary RESULTS_FILE

With 0 clients "read" only measures the server's CPU while nobody watches.
"summary" turns the result lines of a whole run into the table and the
targets. Only 127.0.0.1 is ever contacted.
"""
import hashlib
import os
import selectors
import socket
import sys
import time

TICK = os.sysconf("SC_CLK_TCK")


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / TICK


def rss_mb(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1]) / 1024
    return 0.0


class Client:
    def __init__(self, port, path):
        self.sock = socket.create_connection(("127.0.0.1", port), timeout=10)
        self.sock.sendall(f"GET {path} HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n".encode())
        self.sock.setblocking(False)
        self.buf = bytearray()
        self.header_done = False
        self.body_left = None  # bytes of the current part still to come
        self.stamp = None
        self.parts = 0
        self.hashes = set()
        self.ages = []
        self.error = None

    def feed(self, data):
        self.buf += data
        while True:
            if not self.header_done:
                end = self.buf.find(b"\r\n\r\n")
                if end < 0:
                    return
                if not self.buf.startswith(b"HTTP/1.") or b" 200 " not in self.buf[:end]:
                    self.error = bytes(self.buf[:end].split(b"\r\n")[0])
                    return
                del self.buf[: end + 4]
                self.header_done = True
            if self.body_left is None:
                # Some servers end a part with blank lines of their own.
                while self.buf.startswith(b"\r\n"):
                    del self.buf[:2]
                end = self.buf.find(b"\r\n\r\n")
                if end < 0:
                    return
                length, self.stamp = None, None
                for line in bytes(self.buf[:end]).split(b"\r\n"):
                    name, _, value = line.partition(b":")
                    name = name.strip().lower()
                    if name == b"content-length":
                        length = int(value)
                    elif name == b"x-timestamp":
                        self.stamp = float(value)
                if length is None:
                    self.error = b"a part without Content-Length"
                    return
                del self.buf[: end + 4]
                self.body_left = length
            if len(self.buf) < self.body_left:
                return
            body = bytes(self.buf[: self.body_left])
            del self.buf[: self.body_left]
            self.body_left = None
            self.parts += 1
            self.hashes.add(hashlib.blake2b(body, digest_size=16).digest())
            if self.stamp is not None:
                self.ages.append(time.time() - self.stamp)


def percentile(values, share):
    if not values:
        return None
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(share * len(ordered)))]


def read(port, count, seconds, pid, path):
    clients = [Client(port, path) for _ in range(count)]
    selector = selectors.DefaultSelector()
    for client in clients:
        selector.register(client.sock, selectors.EVENT_READ, client)
    start_cpu, start = cpu_seconds(pid), time.monotonic()
    own_start = sum(os.times()[:2])
    deadline = start + seconds
    while (now := time.monotonic()) < deadline:
        if not clients:
            time.sleep(deadline - now)
            break
        for key, _ in selector.select(deadline - now):
            client = key.data
            try:
                data = client.sock.recv(262144)
            except BlockingIOError:
                continue
            if not data:
                client.error = client.error or b"closed by the server"
                selector.unregister(client.sock)
                continue
            client.feed(data)
    elapsed = time.monotonic() - start
    cpu = cpu_seconds(pid) - start_cpu
    own = sum(os.times()[:2]) - own_start
    union = set().union(*(c.hashes for c in clients)) if clients else set()
    rates = [len(c.hashes) / elapsed for c in clients]
    ages = [a for c in clients for a in c.ages]
    errors = sorted({c.error.decode(errors="replace") for c in clients if c.error})
    figures = {
        "clients": count,
        "seconds": round(elapsed, 2),
        "new_per_client": round(sum(rates) / len(rates), 2) if rates else 0,
        "new_min": round(min(rates), 2) if rates else 0,
        "parts_per_client": round(sum(c.parts for c in clients) / elapsed / max(1, count), 2),
        "distinct_all": len(union),
        "cpu_pct": round(100 * cpu / elapsed, 1),
        "cpu_ms_per_new": round(1000 * cpu / len(union), 1) if union else "-",
        "rss_mb": round(rss_mb(pid), 1),
        "age_ms_p50": round(1000 * percentile(ages, 0.5)) if ages else "-",
        "age_ms_p95": round(1000 * percentile(ages, 0.95)) if ages else "-",
        "reader_cpu_pct": round(100 * own / elapsed, 1),
    }
    line = " ".join(f"{k}={v}" for k, v in figures.items())
    if errors:
        line += " errors=" + ",".join(e.replace(" ", "_") for e in errors)
    print(line, flush=True)


def parse(path):
    rows = []
    with open(path) as f:
        for line in f:
            if line.startswith("result "):
                rows.append(dict(w.split("=", 1) for w in line.split()[1:] if "=" in w))
    return rows


def summary(path):
    rows = parse(path)

    def find(server, size, clients):
        for row in rows:
            if row.get("server") == server and row.get("size") == size and row.get("clients") == str(clients):
                return row
        return None

    print(f"{'size':<9} {'server':<16} {'clients':>7} {'new/s':>6} {'min':>6} {'parts/s':>7} "
          f"{'CPU %':>6} {'ms/new':>7} {'RSS MB':>7} {'age p50':>7} {'age p95':>7} {'reader %':>8}")
    for row in rows:
        print(f"{row.get('size', ''):<9} {row.get('server', ''):<16} {row.get('clients', ''):>7} "
              f"{row.get('new_per_client', ''):>6} {row.get('new_min', ''):>6} {row.get('parts_per_client', ''):>7} "
              f"{row.get('cpu_pct', ''):>6} {row.get('cpu_ms_per_new', ''):>7} {row.get('rss_mb', ''):>7} "
              f"{row.get('age_ms_p50', ''):>7} {row.get('age_ms_p95', ''):>7} {row.get('reader_cpu_pct', ''):>8}"
              + (f"  {row['errors']}" if "errors" in row else ""))
    print()

    def verdict(ok, text):
        print(f"{'met    ' if ok else 'NOT met'}  {text}")

    for size in dict.fromkeys(r["size"] for r in rows if "size" in r):
        for clients in (1, 10):
            ours, theirs = find("talvex", size, clients), find("ustreamer", size, clients)
            if not ours or not theirs:
                print(f"(no figures for {size} with {clients} clients)")
                continue
            a, b = float(ours["new_per_client"]), float(theirs["new_per_client"])
            # One frame over the reading window is where its edges fall.
            slack = 1 / float(ours["seconds"])
            verdict(a >= b - slack, f"{size}, {clients} client(s): Talvex {a} new frames/s >= ustreamer {b}"
                    f" (less one frame in {ours['seconds']} s)")
            try:
                c, d = float(ours["cpu_ms_per_new"]), float(theirs["cpu_ms_per_new"])
                verdict(c <= 0.6 * d, f"{size}, {clients} client(s): Talvex {c} ms CPU per new frame "
                                      f"<= 0.6 x ustreamer {d} = {0.6 * d:.1f}")
            except ValueError:
                verdict(False, f"{size}, {clients} client(s): CPU per new frame (no frames)")
        idle, alone = find("talvex", size, 0), find("talvex-nostream", size, 0)
        if idle and alone:
            a, b = float(idle["cpu_pct"]), float(alone["cpu_pct"])
            # Runs drift by about a tenth under emulation.
            verdict(a <= 1.1 * b, f"{size}, no stream client: Talvex {a} % CPU <= snapshot cycle alone "
                                  f"{b} % (x 1.1 for drift)")


def main():
    if len(sys.argv) in (6, 7) and sys.argv[1] == "read":
        path = sys.argv[6] if len(sys.argv) == 7 else "/stream"
        read(int(sys.argv[2]), int(sys.argv[3]), float(sys.argv[4]), int(sys.argv[5]), path)
    elif len(sys.argv) == 3 and sys.argv[1] == "summary":
        summary(sys.argv[2])
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main()
