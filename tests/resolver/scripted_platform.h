// A stand-in for the platform that answers from a script and records what the
// resolver asked of it.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <new>
#include <string>
#include <vector>

#include "resolver/platform.h"

struct ScriptedAnswer {
  std::string body;
  std::string rawHeaders;
  CookieText setCookies;  // merged into a given jar, as the real exchange does
  bool fails = false;     // no request could be made: nothing written, empty body
  bool exhaustsMemory = false;  // the exchange runs out of memory
};

struct RecordedFetch {
  std::string url;
  int method;
  std::string postText;
  bool jarGiven;
  std::string jarSent;
  bool noRedirect;
  bool rawHeadersGiven;
};

class ScriptedPlatform : public ResolverPlatform {
 public:
  // Answers per address; several answers to one address are given in turn (the last repeats).
  std::map<std::string, std::deque<ScriptedAnswer>> answers;
  std::deque<ScriptedAnswer> fallback;  // for addresses not in `answers`, when not empty
  std::vector<RecordedFetch> fetches;
  std::vector<std::pair<std::u16string, std::u16string>> warnings;
  std::string timestamp = "1700000000123";
  int captchaOpenings = 0;
  bool windowOpen = false;
  std::string answerBox;
  std::vector<int> waits;
  std::function<void()> onCaptchaWindow;  // what the user does while the window is open
  std::function<void()> duringWait;

  Bytes Fetch(std::string_view url, const HttpRequestOptions& o) override {
    fetches.push_back({std::string(url), o.method, o.postText, o.cookieJar != nullptr,
                       o.cookieJar ? *o.cookieJar : "", o.noRedirect, o.rawHeaders != nullptr});
    ScriptedAnswer a;
    auto found = answers.find(std::string(url));
    std::deque<ScriptedAnswer>* queue =
        found != answers.end() && !found->second.empty() ? &found->second
                                                        : (fallback.empty() ? nullptr : &fallback);
    if (queue) {
      a = queue->front();
      if (queue->size() > 1) queue->pop_front();
    } else {
      a.fails = true;  // an address nobody serves
    }
    if (a.exhaustsMemory) throw std::bad_alloc();
    if (a.fails) {
      if (o.failure) *o.failure = "no request could be made to " + std::string(url);
      return {};
    }
    if (o.rawHeaders) *o.rawHeaders = a.rawHeaders;
    CookieText set = a.setCookies;
    if (o.cookieJar) MergeCookies(*o.cookieJar, set);
    return TextToBytes(a.body);
  }
  void ShowWarning(std::u16string_view text, std::u16string_view caption) override {
    warnings.emplace_back(text, caption);
  }
  Text Timestamp() override { return timestamp; }
  void OpenCaptchaWindow() override {
    ++captchaOpenings;
    windowOpen = true;
    answerBox.clear();
    if (onCaptchaWindow) onCaptchaWindow();
    windowOpen = false;
  }
  bool CaptchaWindowOpen() override { return windowOpen; }
  Text ReadCaptchaAnswer() override { return answerBox; }
  void ClearCaptchaAnswer() override { answerBox.clear(); }
  void CloseCaptchaWindow() override { windowOpen = false; }
  void Wait(int milliseconds) override {
    waits.push_back(milliseconds);
    if (duringWait) duringWait();
  }
};
