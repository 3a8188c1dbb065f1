"""Headless Chromium driven over the DevTools pipe (fd 3 and 4), for the
page tests."""
import base64, json, os, shutil, subprocess, tempfile, time


class Browser:
    """Opens url in a fresh profile; headers go with every request (e.g.
    Authorization), args are more Chromium switches."""

    def __init__(self, url, headers=None, args=()):
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
             *args, "about:blank"],
            preexec_fn=wire, pass_fds=(3, 4, to_browser_r, from_browser_w), stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL)
        os.close(to_browser_r)
        os.close(from_browser_w)
        self.next_id = 0
        self.buffer = b""
        target = self.call("Target.createTarget", {"url": "about:blank"})["targetId"]
        self.session = self.call("Target.attachToTarget", {"targetId": target, "flatten": True})["sessionId"]
        self.call("Page.enable", session=True)
        if headers:
            self.call("Network.enable", session=True)
            self.call("Network.setExtraHTTPHeaders", {"headers": headers}, session=True)
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

    def status_text(self):
        return self.eval("document.getElementById('status').textContent")

    def shown_picture(self):
        """The address of the picture the page shows and whether it has pixels."""
        return self.eval("(function(i){return i ? [i.src, i.naturalWidth > 0] : [null, false];})"
                         "(document.querySelector('#stage img.live'))")


def wait_until(predicate, limit=15):
    """Polls predicate() until it returns something true or limit seconds pass."""
    deadline = time.time() + limit
    while True:
        value = predicate()
        if value or time.time() >= deadline:
            return value
        time.sleep(0.1)
