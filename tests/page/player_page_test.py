#!/usr/bin/env python3
"""The live page in headless Chromium, against a small server on 127.0.0.1
whose status.json the test controls, and a stream server beside it that
status.json may announce. Exits non-zero when a check failed.

usage: player_page_test.py WEB_ROOT PICTURE [SCREENSHOT_DIR]
"""
import http.server, json, os, socket, socketserver, sys, threading, time

from browser import Browser, wait_until

ROOT, PICTURE = sys.argv[1], sys.argv[2]
SHOTS = sys.argv[3] if len(sys.argv) > 3 else None
RATE = 2
LIVE = "\u25cf Live"


class World:
    """What the server answers; changed by the test while the page runs."""
    lock = threading.Lock()
    frame = 0
    moving = True
    down = False          # drop every connection without an answer
    with_status = True    # False: an older web root without status.json
    last_good_ms = 0
    picture_requests = []
    status_requests = 0
    stream = None         # what status.json announces
    streaming = True      # the stream server sends parts; False: it ends them
    stream_connections = 0
    open_streams = 0


def tick():
    while True:
        with World.lock:
            if World.moving:
                World.frame += 1
                World.last_good_ms = int(time.time() * 1000)
        time.sleep(1.0 / RATE)


class Handler(http.server.BaseHTTPRequestHandler):
    def log_message(self, *args):
        pass

    def send(self, body, kind):
        self.send_response(200)
        self.send_header("Content-Type", kind)
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Connection", "close")
        self.end_headers()
        self.wfile.write(body)

    def do_GET(self):
        path = self.path.split("?")[0].lstrip("/")
        if self.server.server_address[1] == (World.stream or {}).get("port") and path == "stream":
            return self.stream()
        with World.lock:
            if World.down:
                self.close_connection = True
                self.connection.shutdown(2)
                return
            if path == "images/status.json" and World.with_status:
                World.status_requests += 1
                body = json.dumps({"rate": RATE, "frame": World.frame, "lastGood": World.last_good_ms,
                                   "cameraFailing": not World.moving, "viewers": 1,
                                   "stream": World.stream}).encode()
                return self.send(body, "application/octet-stream")
            if path == "images/VelmarixCamImage.jpg":
                World.picture_requests.append(time.time())
                return self.send(open(PICTURE, "rb").read(), "image/png")
            if path == "images/VelmarixCamImage_tb.jpg":
                return self.send(open(PICTURE, "rb").read(), "image/png")
            if path in ("", "player.html"):
                return self.send(open(os.path.join(ROOT, "player.html"), "rb").read(), "text/html")
        # As the program does: anything else gets the error page, status 200.
        self.send(b"<html><body>error</body></html>", "text/html")

    def stream(self):
        """The stream port: ten parts a second while World.streaming."""
        World.stream_connections += 1
        World.open_streams += 1
        self.send_response(200)
        self.send_header("Content-Type", "multipart/x-mixed-replace; boundary=frame")
        self.end_headers()
        picture = open(PICTURE, "rb").read()
        try:
            while World.streaming:
                self.wfile.write(b"--frame\r\nContent-Type: image/png\r\nContent-Length: %d\r\n\r\n%s\r\n"
                                 % (len(picture), picture))
                time.sleep(0.1)
        except OSError:
            pass  # the page closed it
        finally:
            World.open_streams -= 1


def unused_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


failures = 0


def check(condition, what):
    global failures
    print(("ok   " if condition else "FAIL ") + what, flush=True)
    if not condition:
        failures += 1


def expect_status(browser, want, what):
    """Waits for the status line to read `want` (a text, or a test of it) and checks that it came."""
    matches = want if callable(want) else lambda text: text == want
    wait_until(lambda: matches(browser.status_text()))
    text = browser.status_text()
    check(matches(text), "%s (%r)" % (what, text))


def set_world(**changes):
    with World.lock:
        for name, value in changes.items():
            setattr(World, name, value)


def requests_in(seconds):
    """The snapshot and status.json requests of the next `seconds`."""
    set_world(picture_requests=[], status_requests=0)
    time.sleep(seconds)
    with World.lock:
        return len(World.picture_requests), World.status_requests


def overlap(a, b):
    return not (a["right"] <= b["left"] or b["right"] <= a["left"] or a["bottom"] <= b["top"] or b["bottom"] <= a["top"])


RECT = "(function(e){if(!e)return null;var r=e.getBoundingClientRect();return {left:r.left,right:r.right,top:r.top,bottom:r.bottom,width:r.width,height:r.height,shown:getComputedStyle(e).display!=='none'};})"


def main():
    socketserver.TCPServer.allow_reuse_address = True
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    threading.Thread(target=tick, daemon=True).start()
    url = "http://127.0.0.1:%d/" % server.server_address[1]
    # A stream announced where nothing answers: the page makes do with snapshots.
    World.stream = {"port": unused_port(), "path": "/stream"}
    browser = Browser(url)
    try:
        expect_status(browser, LIVE, "shows \u25cf Live while the counter moves")
        check(browser.eval("document.querySelector('#stage img.live') && document.querySelector('#stage img.live').naturalWidth > 0"),
              "shows the picture")
        check(browser.eval("[...document.querySelectorAll('[src],[href]')].every(e => !/^(https?:)?\\/\\//.test(e.getAttribute('src') || e.getAttribute('href')))"),
              "no external resources")

        pictures, statuses = requests_in(4)
        check(pictures <= 4 * RATE + 1 and pictures >= 4 * RATE - 3,
              "polls the picture at the snapshot rate, the stream unreachable: %d in 4 s at %d/s" % (pictures, RATE))
        check(statuses <= 4 * RATE + 1, "polls status.json no faster: %d in 4 s" % statuses)

        if SHOTS:
            browser.screenshot(os.path.join(SHOTS, "player.png"))

        set_world(moving=False)
        stopped_at = time.strftime("%H:%M:%S", time.localtime(World.last_good_ms / 1000))
        expect_status(browser, "Picture stopped at " + stopped_at, "says when the counter stopped")
        check(requests_in(1.5)[0] == 0, "fetches no picture while it stands still")
        set_world(moving=True)
        expect_status(browser, LIVE, "back to \u25cf Live when the counter moves again")

        set_world(down=True)
        expect_status(browser, "Waiting for the server\u2026", "says so when nothing answers")
        set_world(down=False)
        expect_status(browser, LIVE, "recovers by itself")

        set_world(with_status=False)
        browser.call("Page.reload", session=True)
        time.sleep(0.5)
        expect_status(browser, LIVE, "works without status.json")
        set_world(with_status=True)
        browser.call("Page.reload", session=True)
        expect_status(browser, LIVE, "works with status.json again")

        stream_server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        threading.Thread(target=stream_server.serve_forever, daemon=True).start()
        stream_port = stream_server.server_address[1]
        set_world(stream={"port": stream_port, "path": "/stream"})
        browser.call("Page.reload", session=True)
        streamed = lambda: browser.shown_picture()[1] and ":%d/stream?" % stream_port in browser.shown_picture()[0]
        check(wait_until(streamed), "shows the announced stream (%s)" % browser.shown_picture())
        pictures, statuses = requests_in(3)
        check(pictures == 0 and 2 <= statuses <= 4,
              "while streaming: no snapshot, status.json once a second (%d, %d in 3 s)" % (pictures, statuses))
        check(browser.status_text() == LIVE, "\u25cf Live while streaming")
        set_world(moving=False)
        expect_status(browser, lambda t: t.startswith("Picture stopped at "), "says the picture stopped while streaming")
        connections = World.stream_connections
        set_world(moving=True)
        # A proxy may have closed the silent stream without the browser saying so.
        check(wait_until(lambda: World.stream_connections > connections and World.open_streams == 1, 5)
              and streamed(), "renews the stream when the picture moves again, closing the old one")
        set_world(streaming=False, stream=None, picture_requests=[])
        check(wait_until(lambda: len(World.picture_requests) >= 2, 5), "back to snapshots when the stream is gone")
        stream_server.shutdown()

        browser.call("Emulation.setDeviceMetricsOverride",
                     {"width": 390, "height": 844, "deviceScaleFactor": 1, "mobile": True}, session=True)
        time.sleep(1.0)
        picture = browser.eval(RECT + "(document.querySelector('#stage img.live'))")
        thumb = browser.eval(RECT + "(document.getElementById('thumb'))")
        width = browser.eval("document.documentElement.clientWidth")
        scroll = browser.eval("document.documentElement.scrollWidth")
        check(picture and abs(picture["width"] - 390) <= 2, "the picture takes the phone's full width (%s)" % picture)
        check(scroll <= width, "nothing sticks out sideways (%s of %s)" % (scroll, width))
        check(thumb and thumb["shown"] and not overlap(thumb, picture), "the thumbnail covers none of the picture (%s)" % thumb)
        if SHOTS:
            browser.screenshot(os.path.join(SHOTS, "player-phone.png"))
        browser.eval("document.getElementById('hideThumb').click()")
        check(not browser.eval(RECT + "(document.getElementById('thumb'))")["shown"], "the thumbnail can be hidden")
    finally:
        browser.close()
        server.shutdown()
    print("%d failed" % failures)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
