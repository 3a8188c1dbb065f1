#!/usr/bin/env python3
"""The live page in headless Chromium, against a small server on 127.0.0.1
whose status.json the test controls. Drives the browser over the DevTools
pipe (fd 3 and 4). Exits non-zero on the first failed check.

usage: player_page_test.py WEB_ROOT PICTURE [SCREENSHOT_DIR]
"""
import http.server, json, os, re, shutil, socketserver, subprocess, sys, tempfile, threading, time, base64

ROOT, PICTURE = sys.argv[1], sys.argv[2]
SHOTS = sys.argv[3] if len(sys.argv) > 3 else None
RATE = 2


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
        with World.lock:
            if World.down:
                self.close_connection = True
                self.connection.shutdown(2)
                return
            if path == "images/status.json" and World.with_status:
                World.status_requests += 1
                body = json.dumps({"rate": RATE, "frame": World.frame, "lastGood": World.last_good_ms,
                                   "cameraFailing": not World.moving, "viewers": 1}).encode()
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


class Browser:
    def __init__(self, url):
        self.profile = tempfile.mkdtemp(prefix="talvex-chromium-")
        to_browser_r, self.to_browser = os.pipe()
        self.from_browser, from_browser_w = os.pipe()
        # The pipe ends go to fd 3 (commands in) and fd 4 (answers out).
        def wire():
            os.dup2(to_browser_r, 3)
            os.dup2(from_browser_w, 4)
        self.process = subprocess.Popen(
            ["chromium", "--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
             "--disable-background-networking", "--disable-component-update", "--disable-sync",
             "--user-data-dir=" + self.profile, "--remote-debugging-pipe", "--window-size=1280,900",
             "about:blank"],
            preexec_fn=wire, pass_fds=(3, 4, to_browser_r, from_browser_w), stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL)
        os.close(to_browser_r)
        os.close(from_browser_w)
        self.next_id = 0
        self.buffer = b""
        target = self.call("Target.createTarget", {"url": "about:blank"})["targetId"]
        self.session = self.call("Target.attachToTarget", {"targetId": target, "flatten": True})["sessionId"]
        self.call("Page.enable", session=True)
        self.call("Page.navigate", {"url": url}, session=True)

    def call(self, method, params=None, session=False):
        self.next_id += 1
        message = {"id": self.next_id, "method": method, "params": params or {}}
        if session:
            message["sessionId"] = self.session
        os.write(self.to_browser, json.dumps(message).encode() + b"\0")
        deadline = time.time() + 30
        while time.time() < deadline:
            while b"\0" in self.buffer:
                raw, self.buffer = self.buffer.split(b"\0", 1)
                answer = json.loads(raw)
                if answer.get("id") == self.next_id:
                    if "error" in answer:
                        raise RuntimeError(method + ": " + str(answer["error"]))
                    return answer["result"]
            chunk = os.read(self.from_browser, 1 << 20)
            if not chunk:
                raise RuntimeError("the browser went away")
            self.buffer += chunk
        raise RuntimeError(method + ": no answer")

    def eval(self, expression):
        result = self.call("Runtime.evaluate", {"expression": expression, "returnByValue": True}, session=True)
        return result["result"].get("value")

    def screenshot(self, path):
        data = self.call("Page.captureScreenshot", {"format": "png"}, session=True)["data"]
        with open(path, "wb") as out:
            out.write(base64.b64decode(data))

    def close(self):
        self.process.kill()
        self.process.wait()
        shutil.rmtree(self.profile, ignore_errors=True)


failures = 0


def check(condition, what):
    global failures
    print(("ok   " if condition else "FAIL ") + what, flush=True)
    if not condition:
        failures += 1


def wait_for(browser, predicate, limit=15):
    deadline = time.time() + limit
    while time.time() < deadline:
        text = browser.eval("document.getElementById('status').textContent")
        if predicate(text):
            return text
        time.sleep(0.1)
    return browser.eval("document.getElementById('status').textContent")


def overlap(a, b):
    return not (a["right"] <= b["left"] or b["right"] <= a["left"] or a["bottom"] <= b["top"] or b["bottom"] <= a["top"])


RECT = "(function(e){if(!e)return null;var r=e.getBoundingClientRect();return {left:r.left,right:r.right,top:r.top,bottom:r.bottom,width:r.width,height:r.height,shown:getComputedStyle(e).display!=='none'};})"


def main():
    socketserver.TCPServer.allow_reuse_address = True
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    threading.Thread(target=tick, daemon=True).start()
    url = "http://127.0.0.1:%d/" % server.server_address[1]
    browser = Browser(url)
    try:
        text = wait_for(browser, lambda t: t == "\u25cf Live")
        check(text == "\u25cf Live", "shows \u25cf Live while the counter moves (%r)" % text)
        check(browser.eval("document.querySelector('#stage img.live') && document.querySelector('#stage img.live').naturalWidth > 0"),
              "shows the picture")
        check(browser.eval("[...document.querySelectorAll('[src],[href]')].every(e => !/^(https?:)?\\/\\//.test(e.getAttribute('src') || e.getAttribute('href')))"),
              "no external resources")

        with World.lock:
            World.picture_requests.clear()
            World.status_requests = 0
        time.sleep(4)
        with World.lock:
            pictures, statuses = len(World.picture_requests), World.status_requests
        check(pictures <= 4 * RATE + 1 and pictures >= 4 * RATE - 3,
              "polls the picture at the snapshot rate: %d in 4 s at %d/s" % (pictures, RATE))
        check(statuses <= 4 * RATE + 1, "polls status.json no faster: %d in 4 s" % statuses)

        if SHOTS:
            browser.screenshot(os.path.join(SHOTS, "player.png"))

        with World.lock:
            World.moving = False
            stopped_at = time.strftime("%H:%M:%S", time.localtime(World.last_good_ms / 1000))
        text = wait_for(browser, lambda t: t.startswith("Picture stopped"))
        check(text == "Picture stopped at " + stopped_at, "says %r when the counter stops (%r)" % ("Picture stopped at " + stopped_at, text))
        with World.lock:
            count = len(World.picture_requests)
        time.sleep(1.5)
        with World.lock:
            check(len(World.picture_requests) == count, "fetches no picture while it stands still")
            World.moving = True
        text = wait_for(browser, lambda t: t == "\u25cf Live")
        check(text == "\u25cf Live", "back to \u25cf Live when the counter moves again")

        with World.lock:
            World.down = True
        text = wait_for(browser, lambda t: t.startswith("Waiting"))
        check(text == "Waiting for the server\u2026", "says Waiting for the server\u2026 when nothing answers (%r)" % text)
        with World.lock:
            World.down = False
        text = wait_for(browser, lambda t: t == "\u25cf Live")
        check(text == "\u25cf Live", "recovers by itself")

        with World.lock:
            World.with_status = False
        browser.call("Page.reload", session=True)
        time.sleep(0.5)
        text = wait_for(browser, lambda t: t == "\u25cf Live")
        check(text == "\u25cf Live", "works without status.json")
        with World.lock:
            World.with_status = True
        browser.call("Page.reload", session=True)
        wait_for(browser, lambda t: t == "\u25cf Live")

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
