"""Checks the fake service itself: scenarios, misbehaviour and the log format."""
import http.client
import json
import re
import socket
import tempfile
import threading
import unittest

import fake_netdisk


class FakeNetdiskTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.TemporaryDirectory()
        cls.server = fake_netdisk.serve(0, cls.dir.name)
        cls.port = cls.server.server_address[1]
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
