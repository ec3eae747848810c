#include "host/script_host.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <unknwn.h>

#include <cstdlib>

namespace {

long long NowMilliseconds() {
  FILETIME ft;
  GetSystemTimeAsFileTime(&ft);
  const unsigned long long t = (static_cast<unsigned long long>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
  return static_cast<long long>((t - 116444736000000000ULL) / 10000);
}

TEST(ScriptHost, EvalAndStatements) {
  ScriptHost host;
  EXPECT_EQ(host.Eval("1+2"), "3");
  EXPECT_EQ(host.Eval("'\xD6\xD0' + 'x'"), "\xD6\xD0x");  // 中x through code page 936
  EXPECT_EQ(host.Eval("1/4"), "0.25");
  EXPECT_EQ(host.Eval("syntax error here ("), "");
  EXPECT_TRUE(host.ExecuteStatement("var answer = 6 * 7;"));
  EXPECT_EQ(host.Eval("answer"), "42");
  EXPECT_FALSE(host.ExecuteStatement("var = ;"));
}

TEST(ScriptHost, RunPassesAllSixParameters) {
  ScriptHost host;
  host.AddCode("function join(a,b,c,d,e,f){return [a,b,c,d,e,f].join('|') + ':' + typeof b;}");
  EXPECT_EQ(host.Run("join", "\xD6\xD0", "b", "c", "d", "e", "f"), "\xD6\xD0|b|c|d|e|f:string");
  EXPECT_EQ(host.Run("join"), "|||||:string");  // omitted ones are empty strings, never left out
  EXPECT_EQ(host.RunIntArg2("join", "a", 5), "a|5||||:number");
  EXPECT_EQ(host.RunIntArgs23("join", "a", 5, 6), "a|5|6|||:number");
  host.Reset();  // the engine stays usable
  EXPECT_EQ(host.Eval("1+1"), "2");
}

TEST(ScriptHost, Properties) {
  ScriptHost host;
  EXPECT_EQ(host.Language(2), "JScript");  // writes nothing, reads the current one
  EXPECT_EQ(host.Language(), "JScript");
  EXPECT_EQ(host.Language(0), "JScript");
  EXPECT_EQ(host.Timeout(), -1);
  EXPECT_EQ(host.Timeout(5000), 5000);
  EXPECT_EQ(host.State(), 0);
  EXPECT_EQ(host.State(1), 1);
  EXPECT_EQ(host.State(), 1);
  const bool allow = host.AllowUI();
  EXPECT_EQ(host.AllowUI(!allow), !allow);
  EXPECT_EQ(host.SitehWnd(), host.SitehWnd());
  IUnknown* control = host.ControlObject();
  ASSERT_NE(control, nullptr);
  control->Release();
}

TEST(ScriptHost, MissingComponentFailsQuietly) {
  ScriptHost host(u"NoSuch.ScriptComponent");
  EXPECT_EQ(host.Eval("1+2"), "");
  EXPECT_FALSE(host.ExecuteStatement("var a = 1;"));
  EXPECT_EQ(host.Language(), "");
  EXPECT_EQ(host.Timeout(), 0);
  EXPECT_FALSE(host.AllowUI());
  EXPECT_EQ(host.ControlObject(), nullptr);
  EXPECT_EQ(host.Run("f"), "");
}

TEST(ScriptTimestamp, ThirteenDigitsOfTheClockNeverDecreasing) {
  const Text first = ScriptTimestamp();
  const Text second = ScriptTimestamp();
  ASSERT_EQ(first.size(), 13u) << first;
  EXPECT_EQ(first.find_first_not_of("0123456789"), std::string::npos);
  EXPECT_LE(std::llabs(std::atoll(first.c_str()) - NowMilliseconds()), 2000);
  EXPECT_LE(std::atoll(first.c_str()), std::atoll(second.c_str()));
}

}  // namespace
