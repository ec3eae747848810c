#!/usr/bin/env python3
"""The simulated netdisk service for tests and the demo, on 127.0.0.1 only.

It serves short links, share pages, the download interface and captcha
images the way the real service does, plus endpoints that misbehave on
purpose. The share code in a link names the scenario (see README.md). Every
request is appended to DIR/requests.log as
    "REQUEST <n>\\n" + n raw bytes + "\\n"
where the raw bytes are the request line, the header lines and a blank line
(each ended by CR LF), then the body.
"""
import argparse
import itertools
import json
import os
import re
import shutil
import socket
import struct
import subprocess
import sys
import threading
import time
import urllib.parse
import zlib
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer


class Share:
    def __init__(self, share_id, name, demands=0, image="png", answer="ab12",
                 img_query=True, image_kind="image", cookies=False, page_extra="",
                 code=None, download="link", file_query=""):
        self.share_id = share_id
        self.uk = str(2000 + share_id % 1000)
        self.fs_id = str(900000 + share_id)
        self.name = name  # percent-encoded UTF-8, as the page carries it
        self.timestamp = "1765400000"
        self.sign = "s%04dsig" % (share_id % 10000)
        self.demands = demands  # captcha demands before an answer is accepted
        self.image = image
        self.answer = answer
        self.img_query = img_query
        self.image_kind = image_kind  # "image", "html", "tiny", "bomb" or "bmp16"
        self.cookies = cookies
        self.page_extra = page_extra
        self.code = code  # the extraction code that unlocks the page; None: not locked
        self.download = download  # "link", "endless", "errno" or "nolink"
        self.gone = False  # the page has no share: removed or expired
        self.size = None  # the file's size when the dlink names it (generated shares)
        self.file_query = file_query  # fault switches the dlink hands to /file/


SHARES = {
    "1plain": Share(1001, "%E4%B8%AD%E6%96%87%E6%96%87%E4%BB%B6.txt"),
    "1second": Share(1002, "report-2026.pdf"),
    "1badutf8": Share(1003, "bad%FF%FEname.bin"),
    "1cookies": Share(1004, "cookies.zip", cookies=True),
    "1captcha": Share(1005, "captcha.png", demands=1),
    "1captcha2": Share(1006, "twice.png", demands=2, answer="cd34"),
    "1captchajpg": Share(1007, "jpeg.bin", demands=1, image="jpeg"),
    "1captchagif": Share(1008, "gif.bin", demands=1, image="gif"),
    "1captchanoq": Share(1009, "noq.bin", demands=1, img_query=False),
    "1captchahtml": Share(1010, "html.bin", demands=1, image_kind="html"),
    "1captchatiny": Share(1011, "tiny.bin", demands=1, image_kind="tiny"),
    "1nosign": Share(1012, "nosign.txt"),
    "1captchareset": Share(1016, "reset.bin", demands=1),
    "1zero": Share(1013, "zero.txt", page_extra="\0"),
    "1pKEyzyB": Share(1014, "%E6%BC%94%E7%A4%BA%E6%96%87%E4%BB%B6.mp4", code="x7kq"),
    "1democaptcha": Share(1015, "%E9%AA%8C%E8%AF%81%E7%A0%81.mp4", demands=1, answer="7k4p"),
    "1endless": Share(1017, "endless.bin", download="endless"),
    "1locked": Share(1018, "locked.txt", code="ab12"),
    "1captchabomb": Share(1019, "bomb.bin", demands=1, image_kind="bomb"),
    "1captcha16": Share(1020, "sixteen.bin", demands=1, image_kind="bmp16"),
    "1noverify": Share(1021, "noverify.txt"),
    "1gone": Share(1022, "gone.txt"),
    "1errno": Share(1023, "errno.txt", download="errno"),
    "1nolink": Share(1024, "nolink.txt", download="nolink"),
    "1filecut": Share(1025, "filecut.bin", file_query="&cut=300000"),
    "1filenorange": Share(1026, "filenorange.bin", file_query="&norange=1"),
}
SHARES["1gone"].gone = True
LOCKED_PAGE = ("<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>百度网盘 请输入提取码</title></head>"
               "<body><div class=\"verify-input\">请输入提取码</div></body></html>\n").encode("utf-8")


def lock_value(share):
    return "v%dk" % share.share_id


# Shares without the verification address (it answers 404).
NO_VERIFY = {"1021"}
# Cookie the verification sets and a locked page asks for.
LOCK_COOKIE = "BDCLND"
BY_ID = {str(s.share_id): s for s in SHARES.values()}
GENERATED_BASE, GENERATED_LOCKED_BASE = 500000, 600000
# Numbers of generated shares stay below this, so the two id ranges never meet.
GENERATED_COUNT = 100000
# Files behind direct links are at most this big (a terabyte; served as they go out).
MAX_FILE_SIZE = 1 << 40
# A generated share with a size of its own belongs to the user SIZED_UK_BASE + size:
# the uk is what a client carries from the short link's target to the download.
SIZED_UK_BASE = 10 ** 13


def generated_share(code):
    """/s/1gen<N>[x<SIZE>] and /s/1genlocked<N>[x<SIZE>]: any number of shares for batches."""
    match = re.match(r"^1gen(locked)?(\d{1,5})(?:x(\d{1,13}))?$", code)
    if not match:
        return None
    n = int(match.group(2))
    size = int(match.group(3)) if match.group(3) is not None else None
    if size is not None and size > MAX_FILE_SIZE:
        return None
    if match.group(1):
        share = Share(GENERATED_LOCKED_BASE + n, "genlocked%d.bin" % n, code="g%03d" % (n % 1000))
    else:
        share = Share(GENERATED_BASE + n, "gen%d.bin" % n)
    if size is not None:
        share.size = size
        share.uk = str(SIZED_UK_BASE + size)
    return share


def share_by_id(share_id, uk=""):
    share = BY_ID.get(share_id)
    if share or not share_id.isdigit():
        return share
    n = int(share_id)
    size = "x%d" % (int(uk) - SIZED_UK_BASE) if uk.isdigit() and int(uk) >= SIZED_UK_BASE else ""
    for base, prefix in ((GENERATED_BASE, "1gen"), (GENERATED_LOCKED_BASE, "1genlocked")):
        if base <= n < base + GENERATED_COUNT:
            return generated_share("%s%d%s" % (prefix, n - base, size))
    return None


# Short links that lead somewhere unkind; "{origin}" is filled in.
FAULTS = {
    "1refused": "http://127.0.0.1:1/share/link?shareid=1001&uk=2001",
    "1cutpage": "{origin}/cut",
    "1resetpage": "{origin}/reset",
    "1stall": "{origin}/share/link?shareid=1001&uk=2001&stall=3",
    "1bigpage": "{origin}/bigpage?shareid=1001&uk=2001&mb=50",
    "1loop": "{origin}/loop",
    "1tohttps": "{origin_https}/share/link?shareid=1001&uk=2001",
    "1bigcookie": "{origin}/share/link?shareid=1001&uk=2001&bigcookie=1",
    "1bigdbcs": "{origin}/share/link?shareid=1001&uk=2001&dbcsheaders=1",
}

# 中 in code page 936, as raw header bytes (headers go out as latin-1).
ZHONG = b"\xd6\xd0".decode("latin-1")

COOKIE_LINES = [
    ("Set-Cookie", "BAIDUID=B1D2C3:FG=1; expires=Thu, 31-Dec-37 23:55:55 GMT; max-age=2147483647; path=/; domain=127.0.0.1"),
    ("set-cookie", "BDCLND=abc%2Fdef; path=/; HttpOnly"),
    ("SET-COOKIE", "PANWEB=1; path=/"),
    ("Set-Cookie", "OLD=deleted; expires=Thu, 01-Jan-1970 00:00:01 GMT; path=/"),
    ("Set-Cookie", "PANWEB=1; path=/"),
]

IMAGE_LOCK = threading.Lock()
IMAGE_CACHE = {}


def png_without_text(width=120, height=48):
    """A plain PNG, for machines without ImageMagick."""
    raw = b"".join(b"\0" + bytes([200, 220, 240]) * width for _ in range(height))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))


def captcha_image(answer, fmt, salt):
    """The captcha shows its answer, so a person can read it in the demo."""
    key = (answer, fmt, salt)
    with IMAGE_LOCK:
        if key in IMAGE_CACHE:
            return IMAGE_CACHE[key]
    data = None
    if shutil.which("convert"):
        # The salt shifts the background so that each new image differs.
        colour = "#%02x%02xff" % (200 + salt % 50, 230 - salt % 50)
        font = "/usr/share/fonts/truetype/wqy/wqy-zenhei.ttc"
        cmd = ["convert", "-size", "120x48", "xc:" + colour]
        if os.path.exists(font):  # ImageMagick's default font needs Ghostscript's
            cmd += ["-font", font]
        cmd += ["-fill", "black", "-pointsize", "30",
               "-gravity", "center", "-annotate", "+0+0", answer]
        if fmt == "gif":
            cmd += ["-colors", "16"]
        cmd.append(fmt + ":-")
        try:
            data = subprocess.run(cmd, check=True, capture_output=True, timeout=20).stdout
        except (subprocess.SubprocessError, OSError):
            data = None
    if not data:
        data = png_without_text()
    with IMAGE_LOCK:
        IMAGE_CACHE[key] = data
    return data


BOMB_LOCK = threading.Lock()
BOMB = []


# Width and height of the bomb: 432 MB of pixels once decoded.
BOMB_SIDE = 12000
# The bomb's rows go into the compressed stream this many at a time (a divisor
# of BOMB_SIDE); each group ends in a full flush, so it repeats verbatim.
BOMB_ROWS_PER_BLOCK = 20


def png_bomb(side=BOMB_SIDE):
    """A PNG of side x side white pixels: a few hundred kB that decode to gigabytes.

    Compressing all 432 MB of rows takes seconds; one group of rows, flushed so
    that it needs no history, is compressed once and repeated instead."""
    with BOMB_LOCK:
        if not BOMB:
            row = b"\0" + b"\xff" * (3 * side)
            group = row * BOMB_ROWS_PER_BLOCK
            compressor = zlib.compressobj(9, zlib.DEFLATED, -15)
            block = compressor.compress(group) + compressor.flush(zlib.Z_FULL_FLUSH)
            last = zlib.compressobj(9, zlib.DEFLATED, -15).flush()  # an empty final block
            groups = side // BOMB_ROWS_PER_BLOCK
            adler = 1
            for _ in range(groups):
                adler = zlib.adler32(group, adler)
            data = b"\x78\xda" + block * groups + last + struct.pack(">I", adler)

            def chunk(kind, payload):
                return (struct.pack(">I", len(payload)) + kind + payload
                        + struct.pack(">I", zlib.crc32(kind + payload)))

            BOMB.append(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", side, side, 8, 2, 0, 0, 0))
                        + chunk(b"IDAT", data) + chunk(b"IEND", b""))
        return BOMB[0]


def bmp16(width=120, height=48):
    """A 5-6-5 bitmap with colour masks (BI_BITFIELDS): stripes and a frame."""
    stride = (width * 2 + 3) & ~3
    rows = []
    for y in range(height):
        row = b""
        for x in range(width):
            if x < 2 or y < 2 or x >= width - 2 or y >= height - 2:
                pixel = 0x0000  # black frame
            elif (x // 10) % 2:
                pixel = 0xF800  # red
            else:
                pixel = 0x07E0 | 0x001F  # cyan
            row += struct.pack("<H", pixel)
        rows.append(row + b"\0" * (stride - len(row)))
    pixels = b"".join(reversed(rows))  # bottom-up
    masks = struct.pack("<III", 0xF800, 0x07E0, 0x001F)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 16, 3, len(pixels), 2835, 2835, 0, 0)
    offset = 14 + len(info) + len(masks)
    header = b"BM" + struct.pack("<IHHI", offset + len(pixels), 0, 0, offset)
    return header + info + masks + pixels


def share_page(share, size=0):
    if share.gone:
        return ("<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>百度网盘 - 链接不存在</title>"
                "</head><body><div class=\"error\">啊哦，你来晚了，分享的文件已经被删除了，下次要早点哟。"
                "</div></body></html>\n").encode("utf-8")
    page = (
        "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>百度网盘 - 分享</title></head>"
        "<body><div class=\"share-file\">文件分享</div>%s<script>\n"
        "yunData.setData({server_filename=\"%s\", share_id=\"%d\", share_uk=\"%s\", "
        "fsId=\"%s\", share_timestamp=\"%s\"%s});\n</script></body></html>\n"
        % (share.page_extra, share.name, share.share_id, share.uk, share.fs_id, share.timestamp,
           "" if share is SHARES["1nosign"] else ", share_sign=\"%s\"" % share.sign))
    body = page.encode("utf-8")
    if size > len(body):
        filler = b"<p>padding padding padding padding padding padding padding</p>\n"
        body = filler * ((size - len(body)) // len(filler) + 1) + body
    return body


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "FakeNetdisk/1.0"
    # Headers and body go out in separate writes; without this every answer
    # waits out the client's delayed acknowledgement.
    disable_nagle_algorithm = True

    def log_message(self, fmt, *args):  # the request log is the record
        pass

    # --- plumbing -------------------------------------------------------
    def handle_one_request(self):
        try:
            super().handle_one_request()
        except (ConnectionError, socket.timeout):
            self.close_connection = True

    def record(self, body):
        lines = [self.raw_requestline.rstrip(b"\r\n")]
        for name, value in self.headers.raw_items():
            lines.append(("%s: %s" % (name, value)).encode("latin-1", "replace"))
        raw = b"\r\n".join(lines) + b"\r\n\r\n" + body
        with self.server.log_lock:
            with open(self.server.log_path, "ab") as log:
                log.write(b"REQUEST %d\n" % len(raw) + raw + b"\n")
                log.flush()

    def read_body(self):
        length = int(self.headers.get("Content-Length") or 0)
        return self.rfile.read(length) if length > 0 else b""

    def answer(self, status, body=b"", headers=(), content_type="text/html; charset=utf-8"):
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        for name, value in headers:
            self.send_header(name, value)
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(body)

    def origin(self):
        return self.server.origin

    # --- dispatch -------------------------------------------------------
    def do_GET(self):
        self.dispatch(self.read_body())

    def do_POST(self):
        self.dispatch(self.read_body())

    def do_HEAD(self):
        self.dispatch(b"")

    def do_CONNECT(self):
        self.record(b"")
        self.close_connection = True
        self.answer(502, b"no tunnels here")

    def dispatch(self, body):
        self.record(body)
        if self.server.latency:
            time.sleep(self.server.latency)
        target = self.path
        if not target.startswith("/"):
            # Absolute form: we were asked as a proxy. Answer here, never forward.
            return self.answer(200, b"proxied")
        path, _, query = target.partition("?")
        params = urllib.parse.parse_qs(query, keep_blank_values=True)
        handler = ROUTES.get(path)
        if handler:
            return handler(self, query, params, body)
        if path.startswith("/s/"):
            return self.short_link(path[3:])
        if path.startswith("/target/"):  # where 1longloc's Location leads
            return self.answer(200, share_page(SHARES["1plain"]))
        if path.startswith("/file/"):
            return self.file(path, params)
        return self.answer(404, b"<html>not found</html>")

    # --- the service ----------------------------------------------------
    def short_link(self, code):
        if code == "1longloc":  # a Location of 1200 bytes of double-byte text
            return self.answer(302, b"<html>moved</html>", [("Location", "/target/" + ZHONG * 600)])
        if code == "1noredirect":  # a page where a redirect should be
            return self.answer(200, b"<html>no redirect here</html>")
        if code in FAULTS:
            target = FAULTS[code].format(origin=self.origin(),
                                         origin_https=self.origin().replace("http://", "https://"))
            return self.answer(302, b"<html>moved</html>", [("Location", target)])
        if code == "1bigprobe":  # a probe answer whose headers do not fit the client's buffer
            pads = [("X-Pad-%d" % i, "p" * 1600) for i in range(4)]
            location = "%s/share/link?shareid=1001&uk=2001" % self.origin()
            return self.answer(302, b"<html>moved</html>", pads + [("Location", location)])
        share = SHARES.get(code) or generated_share(code)
        if not share:
            return self.answer(404, b"<html>share not found</html>")
        location = "%s/share/link?shareid=%d&uk=%s" % (self.origin(), share.share_id, share.uk)
        self.answer(302, b"<html>moved</html>", [("Location", location)])

    def unlocked(self, share):
        """A locked share shows itself only to the cookie its verification set."""
        if share.code is None:
            return True
        cookies = (self.headers.get("Cookie") or "").replace(" ", "").split(";")
        return "%s=%s" % (LOCK_COOKIE, lock_value(share)) in cookies

    def share_link(self, query, params, body):
        share = share_by_id((params.get("shareid") or [""])[0], (params.get("uk") or [""])[0])
        if not share:
            return self.answer(404, b"<html>share not found</html>")
        if not self.unlocked(share):
            return self.answer(200, LOCKED_PAGE, [("Set-Cookie", "BAIDUID=B1D2C3:FG=1; path=/")])
        headers = [("Set-Cookie", "BAIDUID=B1D2C3:FG=1; path=/")]
        if share.cookies:
            headers = COOKIE_LINES
        if "stall" in params:
            time.sleep(min(float(params["stall"][0]), 120))
        if "bigcookie" in params:
            headers = headers + [("Set-Cookie", "huge=" + "c" * 100000 + "; path=/")]
        if "dbcsheaders" in params:  # a cookie, then a header block past 5000 bytes in code page 936
            headers = headers + [("Set-Cookie", "DBCS=1; path=/")] + [
                ("X-Pad-%d" % i, ZHONG * 900) for i in (1, 2, 3)]
        self.answer(200, share_page(share), headers)

    def verify(self, query, params, body):
        share_id = (params.get("shareid") or [""])[0]
        if share_id in NO_VERIFY:
            return self.answer(404, b"<html>not found</html>")
        share = share_by_id(share_id)
        form = dict(urllib.parse.parse_qsl(body.decode("latin-1"), keep_blank_values=True))
        if not share:
            return self.json({"errno": 2, "err_msg": "", "request_id": 5})
        if share.code is None:
            return self.json({"errno": 0, "err_msg": "", "request_id": 6})
        if form.get("pwd") != share.code:
            return self.json({"errno": -9, "err_msg": "", "request_id": 7})
        self.json({"errno": 0, "err_msg": "", "request_id": 8},
                  [("Set-Cookie", "%s=%s; path=/; HttpOnly" % (LOCK_COOKIE, lock_value(share)))])

    def download(self, query, params, body):
        share = share_by_id((params.get("shareid") or [""])[0], (params.get("uk") or [""])[0])
        form = dict(urllib.parse.parse_qsl(body.decode("latin-1"), keep_blank_values=True))
        headers = [("Set-Cookie", "STOKEN=%s; path=/" % (share.share_id if share else 0))]
        if not share or (params.get("sign") or [""])[0] != share.sign:
            return self.json({"errno": -9, "request_id": 1}, headers)
        cookie = self.headers.get("Cookie") or ""
        if share.cookies and ("BAIDUID=B1D2C3:FG=1" not in cookie or "BDCLND=abc%2Fdef" not in cookie
                              or "OLD=" in cookie):
            return self.json({"errno": -9, "request_id": 2}, headers)
        if not self.unlocked(share):
            return self.json({"errno": -9, "request_id": 11}, headers)
        if share.download == "errno":
            return self.json({"errno": 112, "request_id": 9}, headers)
        if share.download == "nolink":
            return self.json({"errno": 0, "request_id": 10, "list": []}, headers)
        if share.download == "endless":
            return self.endless()
        if share is SHARES["1captchareset"] and "vcode" in form:
            return self.reset(query, params, body)  # the resubmission finds no answer
        if share.demands:
            token = form.get("vcode")
            stage = 0
            if token is not None:
                match = re.match(r"^v(\d+)s(\d+)", token) if share.img_query else None
                stage = int(match.group(2)) if match else (1 if not share.img_query else 0)
            if token is None or stage < share.demands or form.get("input") != share.answer:
                next_stage = stage + 1 if stage < share.demands else stage
                salt = int(time.time() * 1000) % 100000
                token = "v%ds%dr%d" % (share.share_id, next_stage, salt)
                img = "%s/genimage?%s" % (self.origin(), token) if share.img_query else \
                    "%s/genimage/%d" % (self.origin(), share.share_id)
                return self.json({"errno": -19, "request_id": 3, "img": img, "vcode": token}, headers)
        dlink = "%s/file/%s/%s?sign=abc&expires=8h" % (self.origin(), share.fs_id, share.name)
        if share.size is not None:
            dlink += "&size=%d" % share.size
        if share.file_query:
            # A token of its own per answer, so that each resolution meets the fault once.
            dlink += share.file_query + "&t=%d" % next(DLINK_TOKENS)
        self.json({"errno": 0, "request_id": 4, "dlink": dlink}, headers)

    def json(self, value, headers=()):
        text = json.dumps(value, separators=(",", ":")).replace("/", "\\/")
        self.answer(200, text.encode(), headers, "application/json")

    def genimage(self, query, params, body, share_id=None):
        match = re.match(r"^v(\d+)s(\d+)r(\d+)", query)
        share = share_by_id(share_id or (match.group(1) if match else "")) or SHARES["1captcha"]
        salt = int(match.group(3)) if match else 0
        if share.image_kind == "bomb":
            return self.answer(200, png_bomb(), content_type="image/png")
        if share.image_kind == "bmp16":
            return self.answer(200, bmp16(), content_type="image/bmp")
        if share.image_kind == "html":
            return self.answer(200, b"<html><body>error</body></html>")
        if share.image_kind == "tiny":
            return self.answer(200, b"GI", content_type="image/gif")
        data = captcha_image(share.answer, share.image, salt)
        self.answer(200, data, content_type="image/" + share.image)

    # --- generic and misbehaving endpoints -------------------------------
    def echo(self, query, params, body):
        self.answer(200, b"ok", content_type="text/plain")

    def bytes_(self, query, params, body):
        size = int((params.get("size") or ["0"])[0])
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Length", str(size))
        self.end_headers()
        chunk = self.server.chunk
        while size > 0:
            piece = chunk if size >= len(chunk) else chunk[:size]
            self.wfile.write(piece)
            size -= len(piece)

    def redirect(self, query, params, body):
        status = int((params.get("status") or ["302"])[0])
        self.answer(status, b"<html>redirect</html>", [("Location", params.get("to", ["/echo"])[0])])

    def setcookie(self, query, params, body):
        self.answer(200, b"ok", [("set-cookie", "A=1; path=/"), ("SET-COOKIE", "B=2"),
                                 ("Set-Cookie", "plat=1; path=/")])

    def status(self, query, params, body):
        self.answer(int((params.get("code") or ["200"])[0]), b"status")

    def bigheader(self, query, params, body):
        # Several lines: a platform may cut single header lines that are very long.
        pads = [("X-Pad-%d" % i, "p" * 1600) for i in range(4)]
        self.answer(200, b"big", [("Set-Cookie", "big=1; path=/")] + pads)

    def bigcookie(self, query, params, body):
        self.answer(200, b"ok", [("Set-Cookie", "huge=" + "c" * 100000 + "; path=/")])

    def zero(self, query, params, body):
        self.answer(200, b"ab\0cd")

    def cut(self, query, params, body):
        self.send_response(200)
        self.send_header("Content-Length", "1000")
        self.end_headers()
        self.wfile.write(b"c" * 500)
        self.wfile.flush()
        self.close_connection = True

    def stall(self, query, params, body):
        time.sleep(min(float((params.get("seconds") or ["5"])[0]), 120))
        self.answer(200, b"late")

    def tohttps(self, query, params, body):
        target = self.origin().replace("http://", "https://") + "/echo"
        self.answer(302, b"<html>moved</html>", [("Location", target)])

    def loop(self, query, params, body):
        # Back to itself, query and all, so a test can count the rounds.
        self.answer(302, b"<html>again</html>", [("Location", self.origin() + self.path)])

    def bigpage(self, query, params, body):
        mb = min(int((params.get("mb") or ["1"])[0]), 200)
        self.answer(200, share_page(SHARES["1plain"], mb << 20))

    def endless(self):
        """A chunked answer that never ends, until the client goes away."""
        self.send_response(200)
        self.send_header("Content-Type", "application/json")
        self.send_header("Transfer-Encoding", "chunked")
        self.end_headers()
        # Chunks of a common server's size: Wine's wininet reads a large chunk
        # 1 kB at a time at a cost that grows with the chunk.
        piece = b"x" * 8192
        chunk = (b"%x\r\n" % len(piece) + piece + b"\r\n") * 8
        try:
            while True:
                self.wfile.write(chunk)
        except (ConnectionError, OSError):
            pass
        self.close_connection = True

    def file(self, path, params):
        """The file behind a direct link: file_bytes() of its fs_id, ranges and faults."""
        match = re.match(r"^/file/(\d{1,18})/[^/]+$", path)
        size_param = (params.get("size") or [None])[0]
        cut_param = (params.get("cut") or [None])[0]
        if not match or any(v is not None and not v.isdigit() for v in (size_param, cut_param)):
            return self.answer(404, b"<html>not found</html>")
        fs_id = int(match.group(1))
        size = int(size_param) if size_param is not None else FILE_SIZE_BASE + fs_id % 1000
        if size > MAX_FILE_SIZE:
            return self.answer(404, b"<html>not found</html>")
        ranges = (params.get("norange") or ["0"])[0] != "1"
        start, end, status = 0, size, 200
        headers = [("Accept-Ranges", "bytes")] if ranges else []
        wanted = self.headers.get("Range") if ranges else None
        if wanted:
            span = parse_range(wanted, size)
            if span == "unsatisfiable":
                return self.answer(416, b"", [("Content-Range", "bytes */%d" % size)])
            if span:
                start, end, status = span[0], span[1], 206
                headers.append(("Content-Range", "bytes %d-%d/%d" % (start, end - 1, size)))
        self.send_response(status)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Length", str(end - start))
        for name, value in headers:
            self.send_header(name, value)
        self.end_headers()
        if self.command == "HEAD":
            return
        if cut_param is not None:
            with CUTS_LOCK:
                first = self.path not in CUTS_DONE
                CUTS_DONE.add(self.path)
            if first and start + int(cut_param) < end:
                end = start + int(cut_param)
                self.close_connection = True
        for piece in file_bytes(fs_id, start, end):
            self.wfile.write(piece)

    def reset(self, query, params, body):
        # An abortive close: the client sees a reset, not an answer.
        self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        self.close_connection = True


ROUTES = {
    "/share/link": Handler.share_link,
    "/share/download": Handler.download,
    "/share/verify": Handler.verify,
    "/genimage": Handler.genimage,
    "/echo": Handler.echo,
    "/bytes": Handler.bytes_,
    "/redirect": Handler.redirect,
    "/setcookie": Handler.setcookie,
    "/status": Handler.status,
    "/bigheader": Handler.bigheader,
    "/bigcookie": Handler.bigcookie,
    "/zero": Handler.zero,
    "/cut": Handler.cut,
    "/stall": Handler.stall,
    "/tohttps": Handler.tohttps,
    "/loop": Handler.loop,
    "/bigpage": Handler.bigpage,
    "/reset": Handler.reset,
}
for _share in SHARES.values():
    ROUTES["/genimage/%d" % _share.share_id] = (
        lambda h, q, p, b, sid=str(_share.share_id): Handler.genimage(h, q, p, b, sid))


# Files behind direct links: byte i of the file with fs_id F is (i * 131 + F) % 251.
# 251 is prime, so the pattern repeats only every 251 bytes and a byte out of
# place (a range served from the wrong offset) shows.
FILE_PATTERN_PERIOD, FILE_PATTERN_STEP = 251, 131
# A file whose dlink names no size has FILE_SIZE_BASE + fs_id % 1000 bytes: over a
# megabyte (many writes), and not the same for every share.
FILE_SIZE_BASE = 1 << 20
# Bytes per write when serving a file (a multiple of the pattern's period).
FILE_BLOCK = FILE_PATTERN_PERIOD * 256
# Request targets whose cut=N has been applied: each is cut once per process,
# so a second request (a resumption) gets everything.
CUTS_LOCK = threading.Lock()
CUTS_DONE = set()
DLINK_TOKENS = itertools.count(1)


def file_bytes(fs_id, start, end):
    """The file's bytes [start, end), in pieces of at most FILE_BLOCK."""
    cycle = bytes((i * FILE_PATTERN_STEP + fs_id) % FILE_PATTERN_PERIOD for i in range(FILE_PATTERN_PERIOD))
    run = memoryview(cycle * (FILE_BLOCK // FILE_PATTERN_PERIOD + 1))
    while start < end:
        offset = start % FILE_PATTERN_PERIOD
        count = min(end - start, FILE_BLOCK)
        yield run[offset:offset + count]
        start += count


def parse_range(value, size):
    """A single "bytes=A-", "bytes=A-B" or "bytes=-N": (start, end) with end exclusive,
    "unsatisfiable", or None for anything else (which is answered with the whole file)."""
    match = re.match(r"^bytes=(\d*)-(\d*)$", value.strip())
    if not match or match.group(1) == match.group(2) == "":
        return None
    if match.group(1) == "":
        suffix = int(match.group(2))
        return (max(size - suffix, 0), size) if suffix and size else "unsatisfiable"
    start = int(match.group(1))
    end = int(match.group(2)) + 1 if match.group(2) else size
    if match.group(2) and end <= start:
        return None
    if start >= size:
        return "unsatisfiable"
    return start, min(end, size)


class Server(ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True
    request_queue_size = 64


def serve(port, directory, origin=None, latency_ms=0):
    os.makedirs(directory, exist_ok=True)
    server = Server(("127.0.0.1", port), Handler)
    server.log_lock = threading.Lock()
    server.log_path = os.path.join(directory, "requests.log")
    server.chunk = b"0123456789abcdef" * 4096
    server.origin = origin or "http://127.0.0.1:%d" % server.server_address[1]
    server.latency = latency_ms / 1000.0
    open(server.log_path, "ab").close()
    with open(os.path.join(directory, "pid"), "w") as f:
        f.write(str(os.getpid()))
    with open(os.path.join(directory, "origin"), "w") as f:
        f.write(server.origin)
    return server


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--dir", required=True)
    parser.add_argument("--origin")
    parser.add_argument("--latency", type=int, default=0, help="milliseconds before every answer")
    args = parser.parse_args()
    server = serve(args.port, args.dir, args.origin, args.latency)
    print("serving", server.origin, flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass
    return 0


if __name__ == "__main__":
    sys.exit(main())
