// The platform's script control ("ScriptControl", JScript), driven by member
// name through IDispatch. Used for the current time in milliseconds.
#pragma once

#include <optional>
#include <string_view>

#include "host/handles_win.h"
#include "text/text.h"

class ScriptHost {
 public:
  // Initialises COM on this thread and creates the control; without the
  // component every operation fails quietly.
  explicit ScriptHost(std::u16string_view progId = u"ScriptControl");
  ~ScriptHost();
  ScriptHost(const ScriptHost&) = delete;
  ScriptHost& operator=(const ScriptHost&) = delete;

  bool ExecuteStatement(const Text& statement);
  Text Eval(const Text& expression);
  void Reset();
  // A further reference to the control (the caller releases it), or null.
  IUnknown* ControlObject();
  Text Run(const Text& procedure, const Text& p1 = {}, const Text& p2 = {}, const Text& p3 = {},
           const Text& p4 = {}, const Text& p5 = {}, const Text& p6 = {});
  Text RunIntArg2(const Text& procedure, const Text& p1 = {}, int p2 = 0, const Text& p3 = {},
                  const Text& p4 = {}, const Text& p5 = {}, const Text& p6 = {});
  Text RunIntArgs23(const Text& procedure, const Text& p1 = {}, int p2 = 0, int p3 = 0,
                    const Text& p4 = {}, const Text& p5 = {}, const Text& p6 = {});
  // 0 (or nothing) writes "JScript", 1 writes "vbs", others write nothing; reads it back.
  Text Language(std::optional<int> language = std::nullopt);
  // Writes the value, or -1 when none is given; reads it back.
  int Timeout(std::optional<int> milliseconds = std::nullopt);
  int State(std::optional<int> state = std::nullopt);
  bool AllowUI(std::optional<bool> allow = std::nullopt);
  int SitehWnd(std::optional<int> window = std::nullopt);
  void AddCode(const Text& code);

 private:
  bool comInitialized_ = false;
  ComPtr<IDispatch> object_;
};

// Milliseconds since 1970-01-01 UTC as decimal digits, from the script
// engine; empty when the engine is not available.
Text ScriptTimestamp();
