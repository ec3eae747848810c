"""netdisk-link-cli end to end against the fake service: the real program,
its real exchange, shares as people paste them, a captcha answered through a
pseudo-terminal. Run by CTest with NETDISK_CLI (the program), NETDISK_ORIGIN
(the origin it was built for) and FAKE_NETDISK_DIR (the service's folder)."""
import json
import os
import pty
import select
import subprocess
import sys
import time
import unittest

CLI = os.environ.get("NETDISK_CLI", "")
ORIGIN = os.environ.get("NETDISK_ORIGIN", "http://127.0.0.1:18080")
PLAIN = ORIGIN + "/file/901001/%E4%B8%AD%E6%96%87%E6%96%87%E4%BB%B6.txt?sign=abc&expires=8h"
SECOND = ORIGIN + "/file/901002/report-2026.pdf?sign=abc&expires=8h"


def run(*args, stdin=b"", wrapper=()):
    done = subprocess.run([*wrapper, CLI, *args], input=stdin, capture_output=True, timeout=120)
    return done.returncode, done.stdout.decode("utf-8"), done.stderr.decode("utf-8")


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


if __name__ == "__main__":
    if not CLI:
        sys.exit("NETDISK_CLI is not set")
    unittest.main()
