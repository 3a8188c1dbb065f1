#!/usr/bin/env python3
"""usage: shows_stream.py PAGE_URL [USER:PASSWORD]: exits 0 when the live page
shows the stream from beside itself (as behind a proxy) and says "● Live"."""
import base64, sys

from browser import Browser, wait_until

page = sys.argv[1]
headers = {"Authorization": "Basic " + base64.b64encode(sys.argv[2].encode()).decode()} if len(sys.argv) > 2 else {}
# The proxy test's certificate is made on the spot.
browser = Browser(page, headers, ["--ignore-certificate-errors"])
try:
    beside = page.rstrip("/") + "/stream?"
    shown = wait_until(lambda: browser.shown_picture()[1] and browser.shown_picture()[0].startswith(beside), 20)
    live = wait_until(lambda: browser.status_text() == "\u25cf Live", 5)
    print("page shows %s, status %r" % (browser.shown_picture(), browser.status_text()))
finally:
    browser.close()
sys.exit(0 if shown and live else 1)
