#!/usr/bin/env python3
"""Opens the live page in headless Chromium and checks that it shows the
stream from the address beside the page (as behind a reverse proxy) and
says "● Live". Exits non-zero when it does not.

usage: shows_stream.py PAGE_URL [USER:PASSWORD]
"""
import base64, sys

from browser import Browser, wait_until


def main():
    page = sys.argv[1]
    headers = {}
    if len(sys.argv) > 2:
        headers["Authorization"] = "Basic " + base64.b64encode(sys.argv[2].encode()).decode()
    # The proxy test's certificate is made on the spot.
    browser = Browser(page, headers, ["--ignore-certificate-errors"])
    try:
        beside = page.rstrip("/") + "/stream?"
        shown = wait_until(lambda: (lambda p: p[1] and p[0].startswith(beside))(browser.shown_picture()), 20)
        text = wait_until(lambda: browser.status_text() == "\u25cf Live" and browser.status_text(), 5)
        print("page shows %s, status %r" % (browser.shown_picture(), browser.status_text()))
        return 0 if shown and text else 1
    finally:
        browser.close()


if __name__ == "__main__":
    sys.exit(main())
