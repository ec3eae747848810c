"""netdisk-link-cli end to end against the fake service: the real program,
its real exchange, shares as people paste them, a captcha answered through a
pseudo-terminal. Run by CTest with NETDISK_CLI (the program), NETDISK_ORIGIN
(the origin it was built for) and FAKE_NETDISK_DIR (the service's folder).
With NETDISK_WINE_PREFIX the program is the Windows console program, run
under Wine in that prefix: the hand-offs (HandOffs) are run that way."""
import json
import os
import pty
import select
import socket
import subprocess
import sys
import tempfile
import time
import unittest
import urllib.request

CLI = os.environ.get("NETDISK_CLI", "")
WINE_PREFIX = os.environ.get("NETDISK_WINE_PREFIX", "")
WINE = (os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "cmake", "wine-run"),
        WINE_PREFIX) if WINE_PREFIX else ()
ORIGIN = os.environ.get("NETDISK_ORIGIN", "http://127.0.0.1:18080")
PLAIN = ORIGIN + "/file/901001/%E4%B8%AD%E6%96%87%E6%96%87%E4%BB%B6.txt?sign=abc&expires=8h"
SECOND = ORIGIN + "/file/901002/report-2026.pdf?sign=abc&expires=8h"


def run(*args, stdin=b"", wrapper=(), cwd=None):
    done = subprocess.run([*wrapper, *WINE, CLI, *args], input=stdin, capture_output=True, timeout=120, cwd=cwd)
    return done.returncode, done.stdout.decode("utf-8"), done.stderr.decode("utf-8")


def program_path(path):
    """A folder as the program names it: under Wine, on the drive that maps the root."""
    return "Z:" + path if WINE else path


# What the program's exchange says when nothing listens: curl's words, or wininet's.
NOTHING_LISTENS = "cannot connect to the server" if WINE else "Couldn't connect to server"


def logged_requests():
    path = os.path.join(os.environ["FAKE_NETDISK_DIR"], "requests.log")
    with open(path, "rb") as f:
        data = f.read()
    out, at = [], 0
    while at < len(data):
        eol = data.index(b"\n", at)
        n = int(data[at:eol].split()[1])
        out.append(data[eol + 1:eol + 1 + n])
        at = eol + 1 + n + 1
    return out


class Command(unittest.TestCase):
    def test_batch_of_good_failing_and_foreign_shares(self):
        code, out, err = run(
            "链接: " + ORIGIN + "/s/1plain 提取码: ab12 复制这段内容后打开百度网盘手机App，操作更方便哦",
            ORIGIN + "/s/1gone",
            "https://elsewhere.example/s/1abc",
            ORIGIN + "/s/1second")
        self.assertEqual(code, 1, err)
        self.assertEqual(out.splitlines(), [PLAIN, SECOND])
        self.assertEqual(err.splitlines(), [
            "error: " + ORIGIN + "/s/1gone: the share page holds no share (removed, expired, or locked by a code)",
            "error: https://elsewhere.example/s/1abc: not a link of the service (" + ORIGIN + ")",
        ])

    def test_reasons_of_failures(self):
        cases = [
            ("/s/1locked", "zz99", "wrong extraction code"),
            ("/s/1errno", "ab12", "the download interface answered errno 112"),
            ("/s/1nolink", "ab12", "the download interface's answer holds no link"),
            ("/s/1noredirect", "ab12", "the short link did not redirect to a share"),
            ("/s/1captcha", "ab12", "the service demands a captcha and --no-captcha was given"),
        ]
        for path, share_code, reason in cases:
            code, out, err = run("--no-captcha", "-c", share_code, ORIGIN + path)
            self.assertEqual((code, out), (1, ""), path)
            self.assertEqual(err, "error: " + ORIGIN + path + ": " + reason + "\n")
        # A share page on a port where nothing listens: curl's own words.
        code, out, err = run("-c", "ab12", ORIGIN + "/s/1refused")
        self.assertEqual(code, 1)
        self.assertIn("error: " + ORIGIN + "/s/1refused: Couldn't connect to server", err)
        # An answer that never ends: given up at the ceiling.
        code, out, err = run(ORIGIN + "/s/1endless")
        self.assertEqual(err, "error: " + ORIGIN + "/s/1endless: the answer's body is larger than 64 MiB\n")

    def test_standard_input_and_files_keep_their_order(self):
        text = ("第一个 " + ORIGIN + "/s/1second\n"
                "链接：" + ORIGIN + "/share/init?surl=plain 提取码：ab12\n"
                "and " + ORIGIN + "/share/link?shareid=1002&uk=2002 again\n")
        code, out, err = run("-i", "-", stdin=text.encode("utf-8"))
        self.assertEqual((code, err), (0, ""))
        self.assertEqual(out.splitlines(), [SECOND, PLAIN, SECOND])
        # The same message in GBK, as some chat programs save it.
        code, out, err = run("-i", "-", stdin=text.encode("gbk"))
        self.assertEqual(out.splitlines(), [SECOND, PLAIN, SECOND], err)

    def test_json_reads_back(self):
        code, out, err = run("--json", ORIGIN + "/s/1plain?pwd=ab12", ORIGIN + "/s/1gone")
        self.assertEqual(code, 1)
        first, second = [json.loads(line) for line in out.splitlines()]
        self.assertEqual(list(first), ["link", "code", "file", "dlink", "ok", "error"])
        self.assertEqual(first, {"link": ORIGIN + "/s/1plain", "code": "ab12", "file": "中文文件.txt",
                                 "dlink": PLAIN, "ok": True, "error": None})
        self.assertEqual(second["ok"], False)
        self.assertEqual(second["dlink"], "")
        self.assertIn("no share", second["error"])

    def test_exit_statuses(self):
        self.assertEqual(run(ORIGIN + "/s/1second")[0], 0)
        code, out, err = run("nothing to see here")
        self.assertEqual((code, out), (2, ""))
        self.assertIn("no share link", err)
        self.assertEqual(run("--jobs", "0", ORIGIN + "/s/1second")[0], 2)
        self.assertEqual(run("--no-such-option")[0], 2)
        self.assertEqual(run("-i", "/nonexistent/file")[0], 2)
        code, out, _ = run("--help")
        self.assertEqual(code, 0)
        self.assertIn("--no-captcha", out)
        code, out, _ = run("--version")
        self.assertEqual(code, 0)
        self.assertIn(ORIGIN, out)

    def test_parallel_batch_streams_in_input_order(self):
        shares = [ORIGIN + "/s/1gen%d" % n for n in range(12)]
        code, out, err = run("-j", "6", *shares)
        self.assertEqual((code, err), (0, ""))
        lines = out.splitlines()
        self.assertEqual(len(lines), 12)
        for n, line in enumerate(lines):
            self.assertIn("/gen%d.bin" % n, line)

    def test_no_terminal_means_no_captcha(self):
        # Without a controlling terminal there is nobody to ask.
        code, out, err = run(ORIGIN + "/s/1captcha", wrapper=("setsid",))
        self.assertEqual(code, 1)
        self.assertIn("the service demands a captcha and", err)
        self.assertIn("terminal", err)

    def test_captcha_answered_at_the_terminal(self):
        master, slave = pty.openpty()
        slave_name = os.ttyname(slave)

        def own_terminal():
            os.setsid()
            os.close(os.open(slave_name, os.O_RDWR))  # becomes the controlling terminal

        before = len(logged_requests())
        proc = subprocess.Popen([CLI, "-c", "ab12", ORIGIN + "/s/1captcha2"], stdin=subprocess.DEVNULL,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE, preexec_fn=own_terminal)
        screen = b""
        answers = [b"wrong\n", b"cd34\n"]
        deadline = time.time() + 60
        while answers and time.time() < deadline:
            ready, _, _ = select.select([master], [], [], 1)
            if not ready:
                continue
            try:
                screen += os.read(master, 65536)
            except OSError:  # no side holds the terminal open for a moment
                time.sleep(0.05)
                continue
            # One answer per question asked.
            if screen.count(b"captcha for") > 2 - len(answers):
                os.write(master, answers.pop(0))
        out, err = proc.communicate(timeout=60)
        os.close(slave)
        os.close(master)
        self.assertEqual(proc.returncode, 0, err)
        self.assertEqual(out.decode().strip(), ORIGIN + "/file/901006/twice.png?sign=abc&expires=8h")
        self.assertIn("\u2580".encode("utf-8"), screen)  # the picture, in half blocks
        self.assertIn(b"captcha image: ", screen)
        posts = [r for r in logged_requests()[before:] if r.startswith(b"POST /share/download")]
        self.assertTrue(posts[-1].endswith(b"&input=cd34&vcode=" + posts[-1].split(b"&vcode=")[1]))


def served(fs_id, size):
    """The bytes the fake service serves for a file: byte i is (i * 131 + fs_id) % 251."""
    period = bytes((i * 131 + fs_id) % 251 for i in range(251))
    return (period * (size // 251 + 1))[:size]


class HandOffs(unittest.TestCase):
    def test_built_in_download_resumes_and_keeps_what_is_there(self):
        with tempfile.TemporaryDirectory() as folder:
            code, out, err = run("-j", "2", "--download", program_path(folder), ORIGIN + "/s/1plain?pwd=ab12",
                                 ORIGIN + "/s/1gen7x300000", ORIGIN + "/s/1gone")
            self.assertEqual(code, 1)
            self.assertEqual(len(out.splitlines()), 2)
            with open(os.path.join(folder, "中文文件.txt"), "rb") as f:
                self.assertEqual(f.read(), served(901001, (1 << 20) + 901001 % 1000))
            with open(os.path.join(folder, "gen7.bin"), "rb") as f:
                self.assertEqual(f.read(), served(900000 + 500007, 300000))
            # Run again: nothing fetched twice.
            code, out, err = run("--json", "--download", program_path(folder), ORIGIN + "/s/1gen7x300000")
            self.assertEqual(code, 0)
            self.assertEqual(json.loads(out)["saved"], program_path(folder) + "/gen7.bin")
            self.assertIn("already there", err)
            # A connection cut midway keeps the .part; the rerun asks only for the rest.
            code, out, err = run("--download", program_path(folder), ORIGIN + "/s/1filecut")
            self.assertEqual(code, 1)
            self.assertIn(".part is kept", err)
            # (The service cuts each new link once more, 300000 bytes further on.)
            before = len(logged_requests())
            for attempt in range(5):
                code, out, err = run("--download", program_path(folder), ORIGIN + "/s/1filecut")
                if code == 0:
                    break
            self.assertEqual(code, 0, err)
            ranges = [r for r in logged_requests()[before:] if b"\r\nRange: bytes=" in r]
            self.assertEqual(len(ranges), attempt + 1)  # every rerun asked only for the rest
            self.assertIn(b"\r\nRange: bytes=300000-\r\n", ranges[0])
            with open(os.path.join(folder, "filecut.bin"), "rb") as f:
                self.assertEqual(f.read(), served(901025, (1 << 20) + 901025 % 1000))

    def test_a_share_right_after_an_option_with_an_optional_value_stays_a_share(self):
        with tempfile.TemporaryDirectory() as folder:
            code, out, err = run("--quiet", "--download", ORIGIN + "/s/1gen3x1000", "--json", cwd=folder)
            self.assertEqual(code, 0, err)
            self.assertEqual(json.loads(out)["saved"], "./gen3.bin")
            with open(os.path.join(folder, "gen3.bin"), "rb") as f:
                self.assertEqual(f.read(), served(900000 + 500003, 1000))

    def test_push_to_a_real_aria2(self):
        secret = "s%d" % os.getpid()
        with tempfile.TemporaryDirectory() as folder:
            sock = socket.socket()
            sock.bind(("127.0.0.1", 0))
            port = sock.getsockname()[1]
            sock.close()
            aria2 = subprocess.Popen(["aria2c", "--enable-rpc", "--rpc-listen-port=%d" % port,
                                      "--rpc-listen-all=false", "--rpc-secret=" + secret, "--dir=" + folder,
                                      "--no-conf", "--quiet", "--file-allocation=none"])
            try:
                url = "http://127.0.0.1:%d/jsonrpc" % port
                rpc = lambda method, *params: json.loads(urllib.request.urlopen(urllib.request.Request(
                    url, json.dumps({"jsonrpc": "2.0", "id": 1, "method": method,
                                     "params": ["token:" + secret, *params]}).encode(),
                    {"Content-Type": "application/json"}), timeout=5).read())["result"]
                deadline = time.time() + 20
                while True:
                    try:
                        rpc("aria2.getVersion")
                        break
                    except OSError:
                        self.assertLess(time.time(), deadline, "aria2c did not come up")
                        time.sleep(0.1)
                code, out, err = run("--json", "--aria2", url, "--aria2-secret", secret,
                                     ORIGIN + "/s/1second", ORIGIN + "/s/1gone", ORIGIN + "/s/1gen9x5000")
                self.assertEqual(code, 1)
                objects = [json.loads(line) for line in out.splitlines()]
                self.assertNotIn("aria2_gid", objects[1])  # a share that failed is not sent
                for obj, fs_id, size, name in ((objects[0], 901002, (1 << 20) + 901002 % 1000, "report-2026.pdf"),
                                               (objects[2], 900000 + 500009, 5000, "gen9.bin")):
                    gid = obj["aria2_gid"]
                    while rpc("aria2.tellStatus", gid, ["status"])["status"] != "complete":
                        self.assertLess(time.time(), deadline + 20, "aria2 did not finish")
                        time.sleep(0.1)
                    with open(os.path.join(folder, name), "rb") as f:
                        self.assertEqual(f.read(), served(fs_id, size))
                # A wrong secret: aria2's own words; the links are still printed.
                code, out, err = run("--aria2", url, "--aria2-secret", "wrong", ORIGIN + "/s/1second")
                self.assertEqual((code, len(out.splitlines())), (1, 1))
                self.assertIn("error: aria2 at " + url + ": Unauthorized", err)
            finally:
                aria2.kill()
                aria2.wait()
            # aria2 not running.
            code, out, err = run("--aria2", url, ORIGIN + "/s/1second")
            self.assertEqual((code, len(out.splitlines())), (1, 1))
            self.assertIn("error: aria2 at " + url + ": " + NOTHING_LISTENS, err)


if __name__ == "__main__":
    if not CLI:
        sys.exit("NETDISK_CLI is not set")
    unittest.main()
