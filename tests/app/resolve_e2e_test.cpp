// The main window resolving shares for real: real windows driven with real
// messages, the real exchange over wininet, the fake service on loopback.
#include <gtest/gtest.h>

#include "app/main_window_win.h"
#include "resolver/origin.h"
#include "support/live_main_window_win.h"

namespace {

const std::string O(ServiceOrigin);
const std::wstring kOrigin(ServiceOrigin.begin(), ServiceOrigin.end());

int Count(const std::vector<LoggedRequest>& requests, const std::string& part) {
  int n = 0;
  for (const auto& r : requests) n += r.requestLine.find(part) != std::string::npos ? 1 : 0;
  return n;
}

const LoggedRequest* Find(const std::vector<LoggedRequest>& requests, const std::string& part) {
  for (const auto& r : requests) {
    if (r.requestLine.find(part) != std::string::npos) return &r;
  }
  return nullptr;
}

using ResolveEndToEnd = LiveMainWindow;

std::wstring DlinkOf(const std::string& fsId, const std::wstring& name) {
  return kOrigin + L"/file/" + std::wstring(fsId.begin(), fsId.end()) + L"/" + name +
         L"?sign=abc&expires=8h";
}

const wchar_t kPlainName[] = L"%E4%B8%AD%E6%96%87%E6%96%87%E4%BB%B6.txt";

TEST_F(ResolveEndToEnd, LongLinkWithCodeNeedsNoProbe) {
  const std::wstring link = kOrigin + L"/share/link?shareid=1001&uk=2001";
  EXPECT_EQ(Click(link, L"ab12"), DlinkOf("901001", kPlainName));
  const auto r = Requests();
  EXPECT_EQ(Count(r, "/s/"), 0);
  ASSERT_EQ(r.size(), 3u);
  EXPECT_EQ(r[0].requestLine.rfind("POST /share/verify?shareid=1001&uk=2001&t=", 0), 0u);
  EXPECT_EQ(r[1].requestLine, "GET /share/link?shareid=1001&uk=2001 HTTP/1.1");
  EXPECT_EQ(r[2].requestLine,
            "POST /share/download?channel=chunlei&clienttype=0&web=1&uk=2001&shareid=1001"
            "&timestamp=1765400000&sign=s1001sig&bdstoken=null HTTP/1.1");
  EXPECT_EQ(r[2].body, "fid_list=%5B901001%5D");
  EXPECT_EQ(state.fileName, "\xD6\xD0\xCE\xC4\xCE\xC4\xBC\xFE.txt");  // 中文文件.txt
  EXPECT_EQ(state.verifyBody, "pwd=ab12&vcode=");
  EXPECT_EQ(state.verifyUrl.rfind(O + "/share/verify?shareid=1001&uk=2001&t=", 0), 0u);
}

TEST_F(ResolveEndToEnd, ShortLinkIsProbedOnceAndStaysInTheBox) {
  const std::wstring link = kOrigin + L"/s/1plain";
  EXPECT_EQ(Click(link, L"ab12"), DlinkOf("901001", kPlainName));
  const auto r = Requests();
  EXPECT_EQ(Count(r, "GET /s/1plain "), 1);
  // Without redirects the probe fetched no page: the one page request is the resolver's.
  EXPECT_EQ(Count(r, "GET /share/link?shareid=1001"), 1);
  EXPECT_EQ(WindowText(main.编辑框_网址), link);
  const LoggedRequest* probe = Find(r, "GET /s/1plain ");
  ASSERT_NE(probe, nullptr);
  EXPECT_EQ(probe->HeaderCount("Cookie"), 0);
}

TEST_F(ResolveEndToEnd, NoCodeFollowsTheRedirectAndQuotesTheList) {
  EXPECT_EQ(Click(kOrigin + L"/s/1second", L""), DlinkOf("901002", L"report-2026.pdf"));
  const auto r = Requests();
  ASSERT_EQ(r.size(), 3u);  // short link, its target (followed by the platform), download
  EXPECT_EQ(r[0].requestLine, "GET /s/1second HTTP/1.1");
  EXPECT_EQ(r[1].requestLine.rfind("GET /share/link?shareid=1002", 0), 0u);
  EXPECT_EQ(r[2].body, "fid_list=%5B%22901002%22%5D");
}

// The request lines in the order sent, each cut after its path's first part.
std::vector<std::string> Order(const std::vector<LoggedRequest>& requests) {
  std::vector<std::string> out;
  for (const auto& r : requests) out.push_back(r.requestLine.substr(0, r.requestLine.find('?')));
  return out;
}

TEST_F(ResolveEndToEnd, LockedShareOpensWithItsCode) {
  EXPECT_EQ(Click(kOrigin + L"/s/1locked", L"ab12"), DlinkOf("901018", L"locked.txt"));
  const auto r = Requests();
  EXPECT_EQ(Order(r), (std::vector<std::string>{"GET /s/1locked HTTP/1.1", "POST /share/verify",
                                                "GET /share/link", "POST /share/download"}));
  ASSERT_EQ(r.size(), 4u);
  EXPECT_EQ(r[1].requestLine.rfind("POST /share/verify?shareid=1018&uk=2018&t=", 0), 0u) << r[1].requestLine;
  EXPECT_NE(r[1].requestLine.find("&channel=chunlei&clienttype=0&web=1 HTTP/1.1"), std::string::npos);
  EXPECT_EQ(r[1].body, "pwd=ab12&vcode=");
  EXPECT_EQ(r[1].Header("Content-Type"), "application/x-www-form-urlencoded");
  // The verification's cookie goes with the page and the download, merged into the jar.
  for (const LoggedRequest* after : {&r[2], &r[3]}) {
    EXPECT_NE(after->Header("Cookie").find("BDCLND"), std::string::npos) << after->requestLine;
  }
  EXPECT_NE(state.cookieJar.find("BDCLND"), std::string::npos);
}

TEST_F(ResolveEndToEnd, WrongCodeStopsBeforeThePage) {
  SetWindowTextW(main.编辑框_地址, L"old result");
  MessageBoxCloser closer(L"友情提示：");
  EXPECT_EQ(Click(kOrigin + L"/s/1locked", L"zz99"), L"");
  EXPECT_EQ(Order(Requests()), (std::vector<std::string>{"GET /s/1locked HTTP/1.1", "POST /share/verify"}));
  EXPECT_EQ(closer.seen(), 0);
  EXPECT_EQ(state.failure, "wrong extraction code");
}

TEST_F(ResolveEndToEnd, NoCodeNoVerificationAndAServiceWithoutIt) {
  EXPECT_EQ(Click(kOrigin + L"/s/1second", L""), DlinkOf("901002", L"report-2026.pdf"));
  EXPECT_EQ(Count(Requests(), "/share/verify"), 0);
  // The verification address is missing (404): the page decides, and resolves.
  const std::size_t before = fake_service::Requests().size();
  EXPECT_NE(Click(kOrigin + L"/s/1noverify", L"ab12"), L"");
  EXPECT_EQ(Order(fake_service::RequestsSince(before)),
            (std::vector<std::string>{"GET /s/1noverify HTTP/1.1", "POST /share/verify", "GET /share/link",
                                      "POST /share/download"}));
}

TEST_F(ResolveEndToEnd, ForeignLinkGetsTheWarningAndNoRequest) {
  SetWindowTextW(main.编辑框_地址, L"old result");
  MessageBoxCloser closer(L"友情提示：");
  EXPECT_EQ(Click(L"https://pan.example.com/s/1plain", L"ab12"), L"");
  EXPECT_EQ(closer.seen(), 1);
  EXPECT_EQ(closer.text(), L"您输入的地址并非百度网盘的地址！");
  EXPECT_TRUE(Requests().empty());
}

TEST_F(ResolveEndToEnd, FailedRequestsGiveAnEmptyResultAndNoMessage) {
  SetWindowTextW(main.编辑框_地址, L"old result");
  MessageBoxCloser closer(L"友情提示：");
  // An unknown short link: no Location, so the page request has no address.
  EXPECT_EQ(Click(kOrigin + L"/s/unknown", L"ab12"), L"");
  EXPECT_EQ(closer.seen(), 0);
  EXPECT_EQ(Count(Requests(), "/share/link"), 0);
}

TEST_F(ResolveEndToEnd, CookiesOfOneResolutionGoWithTheNext) {
  EXPECT_EQ(Click(kOrigin + L"/s/1plain", L"ab12"), DlinkOf("901001", kPlainName));
  const std::size_t between = fake_service::Requests().size();
  EXPECT_EQ(Click(kOrigin + L"/s/1cookies", L"ab12"), DlinkOf("901004", L"cookies.zip"));
  const auto second = fake_service::RequestsSince(between);
  const LoggedRequest* page = Find(second, "GET /share/link?shareid=1004");
  ASSERT_NE(page, nullptr);
  EXPECT_EQ(page->Header("Cookie"), "STOKEN=1001; BAIDUID=B1D2C3:FG=1");
  const LoggedRequest* download = Find(second, "POST /share/download");
  ASSERT_NE(download, nullptr);
  // The page's cookies in their order, the repeat and the deleted one gone, the old ones after.
  EXPECT_EQ(download->Header("Cookie"), "BAIDUID=B1D2C3:FG=1; BDCLND=abc%2Fdef; PANWEB=1; STOKEN=1001");
}

// The program itself, started as a process and driven from here.
TEST(Program, ResolvesAndExitsCleanly) {
  STARTUPINFOW si{sizeof si};
  PROCESS_INFORMATION pi{};
  std::wstring command = L"\"" NETDISK_LINK_EXE L"\"";
  ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                             &si, &pi));
  // The window can be found while it is still being created: wait until it is shown.
  HWND window = nullptr;
  for (int i = 0; i < 200 && !(window && IsWindowVisible(window)); ++i) {
    Sleep(50);
    window = FindWindowW(kMainWindowClass, nullptr);
  }
  ASSERT_NE(window, nullptr);
  ASSERT_TRUE(IsWindowVisible(window));
  HWND link = GetDlgItem(window, kIdLinkBox);
  HWND code = GetDlgItem(window, kIdCodeBox);
  HWND result = GetDlgItem(window, kIdResultBox);
  const std::wstring shortLink = kOrigin + L"/s/1second";
  SendMessageW(link, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(shortLink.c_str()));
  SendMessageW(code, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"ab12"));
  DWORD_PTR ignored;
  SendMessageTimeoutW(GetDlgItem(window, kIdConfirm), BM_CLICK, 0, 0, SMTO_NORMAL, 20000, &ignored);
  wchar_t text[1024] = {};
  SendMessageW(result, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text));
  EXPECT_EQ(std::wstring(text), DlinkOf("901002", L"report-2026.pdf"));
  SendMessageW(link, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text));
  EXPECT_EQ(std::wstring(text), shortLink);
  // Enter in the code box presses the button too (the program's loop handles dialog keys).
  SendMessageW(result, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L""));
  PostMessageW(code, WM_KEYDOWN, VK_RETURN, 0x001C0001);
  PostMessageW(code, WM_KEYUP, VK_RETURN, 0xC01C0001);
  text[0] = L'\0';
  for (int i = 0; i < 100 && text[0] == L'\0'; ++i) {
    Sleep(50);
    SendMessageW(result, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text));
  }
  EXPECT_EQ(std::wstring(text), DlinkOf("901002", L"report-2026.pdf"));
  PostMessageW(window, WM_CLOSE, 0, 0);
  EXPECT_EQ(WaitForSingleObject(pi.hProcess, 10000), WAIT_OBJECT_0);
  DWORD exitCode = 99;
  GetExitCodeProcess(pi.hProcess, &exitCode);
  EXPECT_EQ(exitCode, 0u);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
}

}  // namespace
