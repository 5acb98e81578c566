#!/usr/bin/env python3
"""qelo-service and qelo-cli under hostile peers on loopback, with figures:
 - search latency while 200 connections hold half a request head and 8 send one header line
   every half second, and how long the service takes to close them;
 - service memory after four 100 MB chunked uploads at once (refused unread);
 - requests per second on one kept-alive connection (header and body leave in one send);
 - qelo-cli search peak memory against a server that sends a 200 MB reply (cut off at the cap).
Usage: bench/service_hostile.py [BUILD_DIR]   (default build)
"""
import os, resource, socket, subprocess, sys, tempfile, threading, time

build = sys.argv[1] if len(sys.argv) > 1 else "build"
service_exe = os.path.join(build, "bin", "qelo-service")
cli_exe = os.path.join(build, "bin", "qelo-cli")
work = tempfile.mkdtemp(prefix="qelo-hostile-")

svc = subprocess.Popen([service_exe, "--listen", "127.0.0.1:0", "--db", work + "/index.db",
                        "--seed-rows", "50000", "--skins", work],
                       stdout=subprocess.PIPE, stderr=open(work + "/service.log", "w"))
url = svc.stdout.readline().decode().strip()
port = int(url.rsplit(":", 1)[1].rstrip("/"))

def rss_kb(pid, field="VmRSS"):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith(field + ":"):
                return int(line.split()[1])
    return -1

def search_once(word=b"mp3", version=b"1.0"):
    body = b"action=search&word=" + word
    req = (b"POST /zelk_client.php HTTP/" + version + b"\r\nHost: 127.0.0.1\r\nContent-Length: " +
           str(len(body)).encode() + b"\r\n\r\n" + body)
    t0 = time.monotonic()
    s = socket.create_connection(("127.0.0.1", port), timeout=60)
    s.sendall(req)
    data = b""
    while True:
        chunk = s.recv(65536)
        if not chunk:
            break
        data += chunk
    s.close()
    return time.monotonic() - t0, data.split(b" ", 2)[1] if data else b"-"

try:
    print("service RSS at start: %d KB" % rss_kb(svc.pid))
    # 1. idle half-heads and tricklers
    idle = []
    for _ in range(200):
        c = socket.create_connection(("127.0.0.1", port))
        c.sendall(b"GET /bbs/ HTTP/1.1\r\nHost: 127.0.0.1\r\n")
        idle.append(c)
    stop = False
    def trickle():
        c = socket.create_connection(("127.0.0.1", port))
        c.sendall(b"GET /bbs/ HTTP/1.1\r\n")
        for i in range(60):
            if stop:
                return
            try:
                c.sendall(b"X-Line: %d\r\n" % i)
            except OSError:
                return
            time.sleep(0.5)
    threads = [threading.Thread(target=trickle) for _ in range(8)]
    for t in threads:
        t.start()
    time.sleep(0.5)
    t_open = time.monotonic()
    lat = []
    for _ in range(20):
        dt, status = search_once()
        lat.append(dt)
        assert status == b"200", status
    lat.sort()
    print("search with 200 idle + 8 trickling connections: p50 %.1f ms, max %.1f ms (20 searches)"
          % (lat[10] * 1000, lat[-1] * 1000))
    closed_at = []
    for c in idle:
        c.settimeout(30)
        try:
            while c.recv(4096):
                pass
        except OSError:
            pass
        closed_at.append(time.monotonic() - t_open + 0.5)
    print("idle half-heads all closed by the service within %.1f s of opening" % max(closed_at))
    stop = True
    for t in threads:
        t.join()

    # 2. four 100 MB chunked uploads
    before = rss_kb(svc.pid)
    sent = [0] * 4
    def upload(i):
        c = socket.create_connection(("127.0.0.1", port))
        c.sendall(b"POST /zelk_client.php HTTP/1.1\r\nHost: 127.0.0.1\r\nTransfer-Encoding: chunked\r\n\r\n")
        block = b"100000\r\n" + b"x" * 0x100000 + b"\r\n"
        try:
            while sent[i] < 100 * 1000 * 1000:
                c.sendall(block)
                sent[i] += len(block)
        except OSError:
            pass
        c.close()
    ups = [threading.Thread(target=upload, args=(i,)) for i in range(4)]
    for t in ups:
        t.start()
    for t in ups:
        t.join()
    time.sleep(0.2)
    print("four 100 MB chunked uploads: service RSS %d KB before, %d KB after (peak %d KB); "
          "bytes the uploads got into the socket: %s"
          % (before, rss_kb(svc.pid), rss_kb(svc.pid, "VmHWM"), sent))

    # 3. kept-alive requests on one connection
    # A word that matches nothing: a reply of a few bytes, the case a delayed acknowledgement
    # between header and body would slow to ~25 per second.
    c = socket.create_connection(("127.0.0.1", port))
    body = b"action=search&word=zzqqxx"
    req = (b"POST /zelk_client.php HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: " +
           str(len(body)).encode() + b"\r\n\r\n" + body)
    n = 0
    reconnects = 0
    t0 = time.monotonic()
    buf = b""
    while time.monotonic() - t0 < 3:
        c.sendall(req)
        while True:
            head_end = buf.find(b"\r\n\r\n")
            if head_end >= 0:
                head = buf[:head_end].lower()
                cl = int(head.split(b"content-length:")[1].split(b"\r\n")[0])
                if len(buf) >= head_end + 4 + cl:
                    buf = buf[head_end + 4 + cl:]
                    if b"connection: close" in head:  # the per-connection request limit
                        c.close()
                        c = socket.create_connection(("127.0.0.1", port))
                        reconnects += 1
                    break
            buf += c.recv(65536)
        n += 1
    c.close()
    print("kept-alive connection, small replies: %.0f searches/s (%d searches, %d new connections after the "
          "per-connection limit)" % (n / (time.monotonic() - t0), n, reconnects))
finally:
    svc.terminate()
    svc.wait()

# 4. qelo-cli search against a 200 MB reply
lsock = socket.socket()
lsock.bind(("127.0.0.1", 0))
lsock.listen(1)
big_port = lsock.getsockname()[1]
def big_server():
    c, _ = lsock.accept()
    c.recv(65536)
    c.sendall(b"HTTP/1.0 200 OK\r\nContent-Length: %d\r\n\r\n" % (200 * 1000 * 1000))
    block = b"[" + b" " * (1 << 20)
    try:
        for _ in range(200):
            c.sendall(block)
    except OSError:
        pass
    c.close()
srv = threading.Thread(target=big_server)
srv.start()
cli = subprocess.Popen([cli_exe, "search", "x", "--base", "http://127.0.0.1:%d/" % big_port],
                       stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
_, status, usage = os.wait4(cli.pid, 0)
err = cli.stderr.read().decode().strip()
srv.join()
print("qelo-cli search against a 200 MB reply: exit %d, peak RSS %d KB, says: %s"
      % (os.waitstatus_to_exitcode(status), usage.ru_maxrss, err))
