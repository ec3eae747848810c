"""Checks the fake service itself: scenarios, misbehaviour and the log format."""
import http.client
import json
import re
import socket
import struct
import tempfile
import threading
import unittest
import urllib.parse
import zlib

import fake_netdisk


class FakeNetdiskTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.TemporaryDirectory()
        cls.server = fake_netdisk.serve(0, cls.dir.name)
        cls.port = cls.server.server_address[1]
        cls.origin = "http://127.0.0.1:%d" % cls.port
        threading.Thread(target=cls.server.serve_forever, daemon=True).start()

    @classmethod
    def tearDownClass(cls):
        cls.server.shutdown()
        cls.server.server_close()
        cls.dir.cleanup()

    def request(self, method, path, body=None, headers=None):
        conn = http.client.HTTPConnection("127.0.0.1", self.port, timeout=10)
        conn.request(method, path, body=body, headers=headers or {})
        response = conn.getresponse()
        data = response.read()
        conn.close()
        return response, data

    def download(self, code, body, cookie=""):
        share = fake_netdisk.SHARES[code]
        path = ("/share/download?channel=chunlei&clienttype=0&web=1&uk=%s&shareid=%d&timestamp=%s"
                "&sign=%s&bdstoken=null" % (share.uk, share.share_id, share.timestamp, share.sign))
        _, data = self.request("POST", path, body, {"Cookie": cookie} if cookie else {})
        return data.decode()

    def resolve(self, code, pwd=None):
        """The whole way a client goes: short link, verification when a code is given,
        page, download. Gives the page's markers and the download answer (None when
        the page has no share)."""
        response, _ = self.request("GET", "/s/" + code)
        self.assertEqual(response.status, 302)
        target = response.getheader("Location")
        self.assertTrue(target.startswith(self.origin + "/share/link?"), target)
        target = target[len(self.origin):]
        cookie = {}
        if pwd is not None:
            query = dict(urllib.parse.parse_qsl(target.partition("?")[2]))
            response, data = self.request(
                "POST", "/share/verify?shareid=%s&uk=%s&t=1765400000000&channel=chunlei&clienttype=0&web=1"
                % (query["shareid"], query["uk"]), "pwd=%s&vcode=" % pwd)
            self.assertEqual(json.loads(data)["errno"], 0)
            if response.getheader("Set-Cookie"):
                cookie = {"Cookie": response.getheader("Set-Cookie").split(";")[0]}
        _, page = self.request("GET", target, headers=cookie)
        marks = dict(re.findall(r'(\w+)="([^"]*)"', page.decode("utf-8", "replace")))
        if "share_id" not in marks:
            return marks, None
        path = ("/share/download?channel=chunlei&clienttype=0&web=1&uk=%s&shareid=%s&timestamp=%s"
                "&sign=%s&bdstoken=null" % (marks["share_uk"], marks["share_id"], marks["share_timestamp"],
                                            marks["share_sign"]))
        _, data = self.request("POST", path, "fid_list=%5B" + marks["fsId"] + "%5D", cookie)
        return marks, json.loads(data)

    @staticmethod
    def file_byte(fs_id, i):
        return (i * 131 + fs_id) % 251

    def test_short_link_page_and_download(self):
        response, _ = self.request("GET", "/s/1plain")
        self.assertEqual(response.status, 302)
        location = response.getheader("Location")
        self.assertRegex(location, r"/share/link\?shareid=1001&uk=\d+$")
        _, page = self.request("GET", location[location.index("/share"):])
        for marker in (b'server_filename="%E4%B8%AD', b'share_id="1001"', b'fsId="', b'share_sign="'):
            self.assertIn(marker, page)
        answer = self.download("1plain", "fid_list=%5B901001%5D")
        self.assertTrue(answer.startswith('{"errno":0'))
        self.assertIn('"dlink":"http:\\/\\/127.0.0.1', answer)

    def test_captcha_twice_then_right_answer(self):
        first = json.loads(self.download("1captcha2", "fid_list=%5B1%5D"))
        self.assertEqual(first["errno"], -19)
        token = first["img"].rsplit("?", 1)[1]
        second = json.loads(self.download("1captcha2", "fid_list=%5B1%5D&input=cd34&vcode=" + token))
        self.assertEqual(second["errno"], -19)
        token2 = second["img"].rsplit("?", 1)[1]
        self.assertNotEqual(token, token2)
        wrong = json.loads(self.download("1captcha2", "fid_list=%5B1%5D&input=xx&vcode=" + token2))
        self.assertEqual(wrong["errno"], -19)
        right = self.download("1captcha2", "fid_list=%5B1%5D&input=cd34&vcode=" + token2)
        self.assertIn('"dlink"', right)
        response, image = self.request("GET", "/genimage?" + token2)
        self.assertEqual(response.status, 200)
        self.assertTrue(image.startswith(b"\x89PNG"))

    def test_cookies_are_required_by_the_download(self):
        response, _ = self.request("GET", "/share/link?shareid=1004&uk=2004")
        names = [name for name, _ in response.getheaders() if name.lower() == "set-cookie"]
        self.assertEqual(len(names), 5)
        self.assertIn("set-cookie", names)
        self.assertIn('"errno":-9', self.download("1cookies", "fid_list=%5B1%5D"))
        ok = self.download("1cookies", "fid_list=%5B1%5D", "BAIDUID=B1D2C3:FG=1; BDCLND=abc%2Fdef")
        self.assertIn('"dlink"', ok)

    def test_misbehaviour(self):
        response, body = self.request("GET", "/bigheader")
        self.assertGreater(sum(len(v) for k, v in response.getheaders() if k.startswith("X-Pad")), 5000)
        _, body = self.request("GET", "/zero")
        self.assertEqual(body, b"ab\0cd")
        _, body = self.request("GET", "/bytes?size=100000")
        self.assertEqual(len(body), 100000)
        with self.assertRaises((ConnectionError, http.client.HTTPException)):
            self.request("GET", "/reset")

    def raw_exchange(self, request, enough):
        """Sends raw bytes, reads until enough(reply) or the end; the reply's raw bytes."""
        with socket.create_connection(("127.0.0.1", self.port), timeout=10) as s:
            s.sendall(request)
            reply = b""
            while not enough(reply):
                piece = s.recv(65536)
                if not piece:
                    break
                reply += piece
        return reply

    def test_double_byte_location_and_header_block(self):
        response, _ = self.request("GET", "/s/1longloc")
        self.assertEqual(response.status, 302)
        location = response.getheader("Location").encode("latin-1")  # the header's raw bytes
        self.assertEqual(location, b"/target/" + b"\xd6\xd0" * 600)
        # Following the raw Location leads to 1plain's page; the origin's root does not.
        reply = self.raw_exchange(b"GET " + location + b" HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n",
                                  lambda r: False)
        self.assertTrue(reply.startswith(b"HTTP/1.1 200"), reply[:40])
        self.assertIn(b'share_id="1001"', reply)
        response, page = self.request("GET", "/")
        self.assertEqual(response.status, 404)
        self.assertNotIn(b"share_id", page)

        response, _ = self.request("GET", "/s/1bigdbcs")
        target = response.getheader("Location")
        self.assertTrue(target.startswith(self.origin + "/share/link?shareid=1001&uk=2001&"), target)
        response, page = self.request("GET", target[len(self.origin):])
        self.assertIn(b'share_id="1001"', page)
        names = [name for name, _ in response.getheaders()]
        cookies = response.msg.get_all("Set-Cookie")
        self.assertEqual(cookies[-1], "DBCS=1; path=/")
        self.assertEqual(names[-3:], ["X-Pad-1", "X-Pad-2", "X-Pad-3"])
        self.assertLess(names.index("Set-Cookie", names.index("Set-Cookie") + 1), names.index("X-Pad-1"))
        for i in (1, 2, 3):
            self.assertEqual(response.getheader("X-Pad-%d" % i).encode("latin-1"), b"\xd6\xd0" * 900)

        response, page = self.request("GET", "/s/1noredirect")
        self.assertEqual((response.status, response.getheader("Location")), (200, None))
        self.assertNotIn(b"share_id", page)

    def test_endless_download_ends_with_its_client(self):
        share = fake_netdisk.SHARES["1endless"]
        _, page = self.request("GET", "/share/link?shareid=1017&uk=2017")
        self.assertIn(b'share_id="1017"', page)  # the page is normal; only the download is endless
        before = set(threading.enumerate())
        body = b"fid_list=%5B901017%5D"
        request = (b"POST /share/download?channel=chunlei&clienttype=0&web=1&uk=2017&shareid=1017"
                   b"&timestamp=1765400000&sign=" + share.sign.encode() + b"&bdstoken=null HTTP/1.1\r\n"
                   b"Host: x\r\nContent-Length: %d\r\n\r\n" % len(body) + body)
        with socket.create_connection(("127.0.0.1", self.port), timeout=10) as s:
            s.sendall(request)
            reply = b""
            while len(reply) < 3 << 20:
                piece = s.recv(1 << 16)
                self.assertTrue(piece, "the endless answer ended")
                reply += piece
            head = reply[:reply.index(b"\r\n\r\n")]
            self.assertIn(b"Transfer-Encoding: chunked", head)
            self.assertTrue(reply[len(head) + 4:].startswith(b"2000\r\n" + b"x" * 8192 + b"\r\n2000\r\n"))
            handlers = [t for t in threading.enumerate() if t not in before]
            self.assertEqual(len(handlers), 1)
            self.assertTrue(handlers[0].is_alive())
        handlers[0].join(10)
        self.assertFalse(handlers[0].is_alive(), "the handler still writes after its client left")

    def test_hostile_captcha_images(self):
        def bomb(image):
            self.assertTrue(image.startswith(b"\x89PNG\r\n\x1a\n"))
            self.assertLess(len(image), 1 << 20)
            self.assertEqual(struct.unpack(">4sIIBB", image[12:26]), (b"IHDR", 12000, 12000, 8, 2))
            idat = image.index(b"IDAT")
            data = image[idat + 4:idat + 4 + struct.unpack(">I", image[idat - 4:idat])[0]]
            decoder, rows, total = zlib.decompressobj(), b"", 0
            while data:  # decoded in pieces: the whole is 432 MB
                out = decoder.decompress(data, 1 << 22)
                rows = rows or out
                total += len(out)
                data = decoder.unconsumed_tail
            self.assertTrue(decoder.eof)  # also checks the stream's checksum
            self.assertEqual(total, 12000 * (1 + 3 * 12000))
            self.assertEqual(rows[:1 + 3 * 12000], b"\0" + b"\xff" * 36000)
            self.assertIs(fake_netdisk.png_bomb(), fake_netdisk.png_bomb())

        def sixteen(image):
            self.assertEqual(image[:2], b"BM")
            size, offset = struct.unpack("<I4xI", image[2:14])
            header = struct.unpack("<IiiHHI", image[14:34])
            self.assertEqual((size, offset), (len(image), 14 + 40 + 12))
            self.assertEqual(header, (40, 120, 48, 1, 16, 3))
            self.assertEqual(struct.unpack("<III", image[54:66]), (0xF800, 0x07E0, 0x001F))
            pixels = image[offset:]
            self.assertEqual(len(pixels), 240 * 48)
            self.assertGreaterEqual(len(set(struct.unpack("<%dH" % (120 * 48), pixels))), 3)

        for code, kind, check in (("1captchabomb", "image/png", bomb), ("1captcha16", "image/bmp", sixteen)):
            with self.subTest(code):
                demand = json.loads(self.download(code, "fid_list=%5B1%5D"))
                self.assertEqual(demand["errno"], -19)
                response, image = self.request("GET", demand["img"][len(self.origin):])
                self.assertEqual(response.getheader("Content-Type"), kind)
                check(image)
                token = demand["img"].rsplit("?", 1)[1]
                self.assertIn('"dlink"', self.download(code, "fid_list=%5B1%5D&input=ab12&vcode=" + token))

    def test_verification(self):
        lock = fake_netdisk.LOCK_COOKIE
        cases = [  # share id, uk, code, status, errno, cookie set
            ("1018", "2018", "ab12", 200, 0, lock + "=v1018k"),
            ("1018", "2018", "zz99", 200, -9, None),
            ("1018", "2018", "", 200, -9, None),
            ("1014", "2014", "x7kq", 200, 0, lock + "=v1014k"),
            ("600007", "2007", "g007", 200, 0, lock + "=v600007k"),
            ("600007", "2007", "g008", 200, -9, None),
            ("1001", "2001", "", 200, 0, None),
            ("999999", "2999", "ab12", 200, 2, None),
            ("1021", "2021", "", 404, None, None),
        ]
        for share_id, uk, code, status, errno, cookie in cases:
            with self.subTest(share_id=share_id, code=code):
                response, data = self.request(
                    "POST", "/share/verify?shareid=%s&uk=%s&t=1&channel=chunlei&clienttype=0&web=1"
                    % (share_id, uk), "pwd=%s&vcode=" % code)
                self.assertEqual(response.status, status)
                if errno is not None:
                    answer = json.loads(data)
                    self.assertEqual((answer["errno"], answer["err_msg"]), (errno, ""))
                    self.assertIn("request_id", answer)
                set_cookie = response.getheader("Set-Cookie")
                self.assertEqual(set_cookie.split(";")[0] if set_cookie else None, cookie)
        # A locked page shows its share to its own cookie only.
        for cookie, shown in ((None, False), (lock + "=v1014k", False), (lock + "=v1018k", True),
                              ("A=1; " + lock + "=v1018k", True)):
            with self.subTest(cookie=cookie):
                _, page = self.request("GET", "/share/link?shareid=1018&uk=2018",
                                       headers={"Cookie": cookie} if cookie else {})
                self.assertEqual(b'share_id="1018"' in page, shown)
                self.assertEqual(b'server_filename="locked.txt"' in page, shown)
                self.assertEqual("请输入提取码".encode() in page, not shown)
        self.assertIn('"errno":-9', self.download("1locked", "fid_list=%5B901018%5D"))

    def test_resolutions(self):
        # code, extraction code, file name, share id, file size (None: the default), dlink's switches
        cases = [
            ("1plain", None, "%E4%B8%AD%E6%96%87%E6%96%87%E4%BB%B6.txt", 1001, None, ""),
            ("1locked", "ab12", "locked.txt", 1018, None, ""),
            ("1pKEyzyB", "x7kq", "%E6%BC%94%E7%A4%BA%E6%96%87%E4%BB%B6.mp4", 1014, None, ""),
            ("1noverify", None, "noverify.txt", 1021, None, ""),
            ("1gen7", None, "gen7.bin", 500007, None, ""),
            ("1gen99999", None, "gen99999.bin", 599999, None, ""),
            ("1genlocked7", "g007", "genlocked7.bin", 600007, None, ""),
            ("1genlocked12345", "g345", "genlocked12345.bin", 612345, None, ""),
            ("1gen3x5000", None, "gen3.bin", 500003, 5000, "&size=5000"),
            ("1gen4x0", None, "gen4.bin", 500004, 0, "&size=0"),
            ("1genlocked5x300", "g005", "genlocked5.bin", 600005, 300, "&size=300"),
        ]
        for code, pwd, name, share_id, size, switches in cases:
            with self.subTest(code):
                marks, answer = self.resolve(code, pwd)
                self.assertEqual((marks["share_id"], marks["server_filename"]), (str(share_id), name))
                fs_id = 900000 + share_id
                self.assertEqual(answer["dlink"], "%s/file/%d/%s?sign=abc&expires=8h%s"
                                 % (self.origin, fs_id, name, switches))
                response, data = self.request("GET", answer["dlink"][len(self.origin):])
                size = (1 << 20) + fs_id % 1000 if size is None else size
                self.assertEqual((response.status, int(response.getheader("Content-Length")), len(data)),
                                 (200, size, size))
                for i in (i for i in (0, 1, 250, 251, 252, 65535, 65536, 1 << 19, size - 1) if 0 <= i < size):
                    self.assertEqual(data[i], self.file_byte(fs_id, i), i)
        # A locked share without its code shows no share; numbers past the ranges are no shares.
        self.assertIsNone(self.resolve("1genlocked7")[1])
        for code in ("1gen100000", "1genlocked100000", "1gen1x%d" % ((1 << 40) + 1), "1genx", "1gen7y"):
            with self.subTest(code):
                self.assertEqual(self.request("GET", "/s/" + code)[0].status, 404)

    def test_error_answers(self):
        marks, answer = self.resolve("1gone")
        self.assertIsNone(answer)
        _, page = self.request("GET", "/share/link?shareid=1022&uk=2022")
        self.assertIn("啊哦，你来晚了，分享的文件已经被删除了".encode(), page)
        self.assertNotIn(b"share_id", page)
        self.assertEqual(self.resolve("1errno")[1]["errno"], 112)
        _, answer = self.resolve("1nolink")
        self.assertEqual((answer["errno"], answer["list"], "dlink" in answer), (0, [], False))

    def test_file_ranges(self):
        fs_id, size = 901001, 3000
        path = "/file/%d/r.bin?size=%d" % (fs_id, size)
        whole = bytes(self.file_byte(fs_id, i) for i in range(size))
        cases = [  # Range, status, first byte, end (exclusive); None: nothing served
            (None, 200, 0, size),
            ("bytes=1000-", 206, 1000, size),
            ("bytes=1000-1999", 206, 1000, 2000),
            ("bytes=0-0", 206, 0, 1),
            ("bytes=2990-99999", 206, 2990, size),
            ("bytes=-10", 206, size - 10, size),
            ("bytes=2000-1000", 200, 0, size),  # not a range: ignored
            ("bytes=0-1,5-6", 200, 0, size),  # several ranges: ignored
            ("items=0-1", 200, 0, size),
            ("bytes=3000-", 416, None, None),
            ("bytes=3000-3001", 416, None, None),
        ]
        for method in ("GET", "HEAD"):
            for wanted, status, start, end in cases:
                with self.subTest(method=method, range=wanted):
                    response, data = self.request(method, path, headers={"Range": wanted} if wanted else {})
                    self.assertEqual(response.status, status)
                    if status == 416:
                        self.assertEqual(response.getheader("Content-Range"), "bytes */%d" % size)
                        continue
                    self.assertEqual(int(response.getheader("Content-Length")), end - start)
                    self.assertEqual(response.getheader("Accept-Ranges"), "bytes")
                    self.assertEqual(response.getheader("Content-Range"),
                                     "bytes %d-%d/%d" % (start, end - 1, size) if status == 206 else None)
                    self.assertEqual(data, whole[start:end] if method == "GET" else b"")
        response, data = self.request("GET", path + "&norange=1", headers={"Range": "bytes=1000-"})
        self.assertEqual((response.status, data, response.getheader("Accept-Ranges")), (200, whole, None))
        for bad in ("/file/abc/r.bin", "/file/901001/r.bin?size=-1", "/file/901001/r.bin?cut=x",
                    "/file/901001", "/file/1/r.bin?size=%d" % ((1 << 40) + 1)):
            with self.subTest(bad):
                self.assertEqual(self.request("GET", bad)[0].status, 404)

    def fetch_cut(self, path, headers=None):
        """The body of a GET, and whether it came whole."""
        conn = http.client.HTTPConnection("127.0.0.1", self.port, timeout=10)
        conn.request("GET", path, headers=headers or {})
        response = conn.getresponse()
        try:
            return response.read(), True
        except http.client.IncompleteRead as cut:
            return cut.partial, False
        finally:
            conn.close()

    def test_cut_once_then_resumable(self):
        fs_id = 902002
        whole = bytes(self.file_byte(fs_id, i) for i in range(5000))
        path = "/file/%d/c.bin?size=5000&cut=1200&t=a" % fs_id
        self.assertEqual(self.request("HEAD", path)[0].status, 200)  # a HEAD spends no cut
        self.assertEqual(self.fetch_cut(path), (whole[:1200], False))
        self.assertEqual(self.fetch_cut(path, {"Range": "bytes=1200-"}), (whole[1200:], True))
        self.assertEqual(self.fetch_cut(path), (whole, True))
        self.assertEqual(self.fetch_cut(path.replace("t=a", "t=b"), {"Range": "bytes=100-"}),
                         (whole[100:1300], False))
        # The fault shares hand their switches over in the dlink, a fresh token each time.
        links = [self.resolve("1filecut")[1]["dlink"] for _ in range(2)]
        self.assertNotEqual(links[0], links[1])
        for link in links:
            self.assertRegex(link, r"/file/901025/filecut\.bin\?sign=abc&expires=8h&cut=300000&t=\d+$")
            data, complete = self.fetch_cut(link[len(self.origin):])
            self.assertEqual((len(data), complete), (300000, False))
        link = self.resolve("1filenorange")[1]["dlink"]
        self.assertRegex(link, r"/file/901026/filenorange\.bin\?sign=abc&expires=8h&norange=1&t=\d+$")
        response, data = self.request("GET", link[len(self.origin):], headers={"Range": "bytes=10-"})
        self.assertEqual((response.status, len(data)), (200, (1 << 20) + 26))

    def test_log_records_the_raw_request(self):
        with socket.create_connection(("127.0.0.1", self.port)) as s:
            s.sendall(b"POST http://example.invalid/x?logtest HTTP/1.1\r\nHost: example.invalid\r\n"
                      b"X-Case: Mixed Value\r\nContent-Length: 3\r\n\r\na=1")
            s.settimeout(10)
            reply = b""
            while not reply.endswith(b"proxied"):
                piece = s.recv(4096)
                if not piece:
                    break
                reply += piece
            self.assertTrue(reply.endswith(b"proxied"), reply)
        with open(self.server.log_path, "rb") as f:
            log = f.read()
        raw = (b"POST http://example.invalid/x?logtest HTTP/1.1\r\nHost: example.invalid\r\n"
               b"X-Case: Mixed Value\r\nContent-Length: 3\r\n\r\na=1")
        self.assertIn(b"REQUEST %d\n" % len(raw) + raw + b"\n", log)
        self.assertTrue(re.match(rb"^REQUEST \d+\n", log))


if __name__ == "__main__":
    unittest.main()
