#include "host/script_host.h"

#include <windows.h>
#include <oleauto.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <vector>

#include "host/bind.h"
#include "host/transcode.h"
#include "text/codepage.h"

namespace {

// An argument or a result of a member call; cleared once.
class Variant {
 public:
  Variant() { BOUND("oleaut32.dll", VariantInit)(&v_); }
  ~Variant() { BOUND("oleaut32.dll", VariantClear)(&v_); }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
  VARIANT* get() { return &v_; }

  static void Text(VARIANT& v, const ::Text& text) {
    const std::u16string wide = Cp936ToUtf16(text);
    v.vt = VT_BSTR;
    v.bstrVal = BOUND("oleaut32.dll", SysAllocStringLen)(reinterpret_cast<const OLECHAR*>(wide.data()),
                                                         static_cast<UINT>(wide.size()));
  }
  static void Int(VARIANT& v, int value) {
    v.vt = VT_I4;
    v.lVal = value;
  }

 private:
  VARIANT v_;
};

// The arguments of one call, in the order the caller lists them.
class Arguments {
 public:
  explicit Arguments(std::size_t n) : values_(n) {
    for (auto& v : values_) BOUND("oleaut32.dll", VariantInit)(&v);
  }
  ~Arguments() {
    for (auto& v : values_) BOUND("oleaut32.dll", VariantClear)(&v);
  }
  Arguments(const Arguments&) = delete;
  Arguments& operator=(const Arguments&) = delete;
  VARIANT& operator[](std::size_t i) { return values_[i]; }
  std::size_t size() const { return values_.size(); }
  // IDispatch takes them last first.
  std::vector<VARIANT> Reversed() const { return {values_.rbegin(), values_.rend()}; }

 private:
  std::vector<VARIANT> values_;
};

HRESULT Call(IDispatch* object, const wchar_t* member, WORD kind, Arguments& args, VARIANT* result) {
  if (!object) return E_POINTER;
  DISPID id = 0;
  LPOLESTR name = const_cast<LPOLESTR>(member);
  if (const HRESULT hr = object->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id); FAILED(hr)) {
    return hr;
  }
  std::vector<VARIANT> reversed = args.Reversed();
  DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
  DISPID putId = DISPID_PROPERTYPUT;
  if (kind == DISPATCH_PROPERTYPUT) {
    params.rgdispidNamedArgs = &putId;
    params.cNamedArgs = 1;
  }
  return object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, kind, &params, result, nullptr, nullptr);
}

bool Invoke(IDispatch* object, const wchar_t* member, WORD kind, Arguments& args, VARIANT* result) {
  return SUCCEEDED(Call(object, member, kind, args, result));
}

::Text AsText(VARIANT& value) {
  // Whole numbers of up to 15 digits (times in milliseconds among them) in
  // plain digits, every one exact, whatever the platform's formatter does;
  // beyond that the platform's own form, exponent and all.
  if (value.vt == VT_R8 && std::fabs(value.dblVal) < 1e15 && value.dblVal == std::trunc(value.dblVal)) {
    char digits[24];
    std::snprintf(digits, sizeof digits, "%.0f", value.dblVal == 0 ? 0.0 : value.dblVal);  // no "-0"
    return digits;
  }
  Variant converted;
  if (FAILED(BOUND("oleaut32.dll", VariantChangeType)(converted.get(), &value, 0, VT_BSTR))) return {};
  const BSTR s = converted.get()->bstrVal;
  return Utf16ToCp936(std::u16string_view(reinterpret_cast<const char16_t*>(s),
                                          s ? BOUND("oleaut32.dll", SysStringLen)(s) : 0));
}

// The number truncated toward zero, held to the range of int.
int AsInt(VARIANT& value) {
  Variant converted;
  if (FAILED(BOUND("oleaut32.dll", VariantChangeType)(converted.get(), &value, 0, VT_R8))) return 0;
  const double number = std::trunc(converted.get()->dblVal);
  if (!(number == number)) return 0;  // NaN
  if (number <= static_cast<double>(INT_MIN)) return INT_MIN;
  if (number >= static_cast<double>(INT_MAX)) return INT_MAX;
  return static_cast<int>(number);
}

bool AsBool(VARIANT& value) {
  Variant converted;
  if (FAILED(BOUND("oleaut32.dll", VariantChangeType)(converted.get(), &value, 0, VT_BOOL))) return false;
  return converted.get()->boolVal != VARIANT_FALSE;
}

}  // namespace

ScriptHost::ScriptHost(std::u16string_view progId) {
  // Only a call that set COM up (or counted once more on it) is paired with
  // CoUninitialize; a thread already in another apartment (RPC_E_CHANGED_MODE)
  // keeps its COM, and the control is still tried in it.
  const HRESULT com = BOUND("ole32.dll", CoInitialize)(nullptr);
  comInitialized_ = com == S_OK || com == S_FALSE;
  const std::u16string id(progId);
  CLSID clsid;
  if (FAILED(BOUND("ole32.dll", CLSIDFromProgID)(reinterpret_cast<LPCOLESTR>(id.c_str()), &clsid))) return;
  ComPtr<IUnknown> unknown;
  HRESULT hr = BOUND("ole32.dll", CoCreateInstance)(clsid, nullptr, CLSCTX_ALL, IID_IUnknown,
                                                    reinterpret_cast<void**>(unknown.put()));
  if (hr == E_INVALIDARG) {
    hr = BOUND("ole32.dll", CoCreateInstance)(clsid, nullptr, CLSCTX_SERVER, IID_IUnknown,
                                              reinterpret_cast<void**>(unknown.put()));
  }
  if (FAILED(hr) || !unknown) return;
  if (FAILED(BOUND("ole32.dll", OleRun)(unknown.get()))) return;  // the owner releases it
  unknown->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(object_.put()));
  Arguments language(1);
  Variant::Text(language[0], "JScript");
  Invoke(object_.get(), L"Language", DISPATCH_PROPERTYPUT, language, nullptr);
}

ScriptHost::~ScriptHost() {
  object_.reset();  // before COM goes away on this thread
  if (comInitialized_) BOUND("ole32.dll", CoUninitialize)();
}

bool ScriptHost::ExecuteStatement(const Text& statement) {
  // The statement goes as a byte array of UTF-16 text, which the control
  // turns back into its string parameter.
  const Bytes utf16 = AnsiToUtf16(statement);
  Arguments args(1);
  // Created straight into the argument, which destroys it when cleared.
  args[0].parray = BOUND("oleaut32.dll", SafeArrayCreateVector)(VT_UI1, 0, static_cast<ULONG>(utf16.size()));
  if (!args[0].parray) return false;
  args[0].vt = VT_ARRAY | VT_UI1;
  void* data = nullptr;
  if (SUCCEEDED(BOUND("oleaut32.dll", SafeArrayAccessData)(args[0].parray, &data))) {
    WriteToMemory(utf16, data);
    BOUND("oleaut32.dll", SafeArrayUnaccessData)(args[0].parray);
  }
  Variant result;
  return Invoke(object_.get(), L"ExecuteStatement", DISPATCH_METHOD, args, result.get());
}

Text ScriptHost::Eval(const Text& expression) {
  Arguments args(1);
  Variant::Text(args[0], expression);
  Variant result;
  return Invoke(object_.get(), L"Eval", DISPATCH_METHOD, args, result.get()) ? AsText(*result.get()) : Text();
}

void ScriptHost::Reset() {
  Arguments none(0);
  Invoke(object_.get(), L"Reset", DISPATCH_METHOD, none, nullptr);
}

IUnknown* ScriptHost::ControlObject() {
  if (object_) object_->AddRef();
  return object_.get();
}

namespace {

Text RunWith(IDispatch* object, Arguments& args) {
  Variant result;
  const HRESULT hr = Call(object, L"Run", DISPATCH_METHOD, args, result.get());
  if (SUCCEEDED(hr)) return AsText(*result.get());
  // Wine's dispatcher does not pack the trailing parameters into the member's
  // parameter array and rejects their count: hand them over packed. Only
  // then, since any other failure may come from a procedure that already ran.
  if (hr != DISP_E_BADPARAMCOUNT || args.size() < 2) return {};
  // Owned here: the argument below only refers to it, and clearing a
  // reference frees nothing.
  SafeArray packed(BOUND("oleaut32.dll", SafeArrayCreateVector)(VT_VARIANT, 0,
                                                                static_cast<ULONG>(args.size() - 1)));
  if (!packed) return {};
  for (LONG i = 0; i + 1 < static_cast<LONG>(args.size()); ++i) {
    BOUND("oleaut32.dll", SafeArrayPutElement)(packed.get(), &i, &args[static_cast<std::size_t>(i) + 1]);
  }
  SAFEARRAY* reference = packed.get();
  Arguments two(2);
  BOUND("oleaut32.dll", VariantCopy)(&two[0], &args[0]);
  two[1].vt = VT_BYREF | VT_ARRAY | VT_VARIANT;  // the member takes a pointer to the array
  two[1].pparray = &reference;
  Variant retry;
  const bool ok = Invoke(object, L"Run", DISPATCH_METHOD, two, retry.get());
  return ok ? AsText(*retry.get()) : Text();
}

}  // namespace

Text ScriptHost::Run(const Text& procedure, const Text& p1, const Text& p2, const Text& p3,
                     const Text& p4, const Text& p5, const Text& p6) {
  Arguments args(7);
  const Text* all[] = {&procedure, &p1, &p2, &p3, &p4, &p5, &p6};
  for (std::size_t i = 0; i < 7; ++i) Variant::Text(args[i], *all[i]);
  return RunWith(object_.get(), args);
}

Text ScriptHost::RunIntArg2(const Text& procedure, const Text& p1, int p2, const Text& p3, const Text& p4,
                            const Text& p5, const Text& p6) {
  Arguments args(7);
  Variant::Text(args[0], procedure);
  Variant::Text(args[1], p1);
  Variant::Int(args[2], p2);
  Variant::Text(args[3], p3);
  Variant::Text(args[4], p4);
  Variant::Text(args[5], p5);
  Variant::Text(args[6], p6);
  return RunWith(object_.get(), args);
}

Text ScriptHost::RunIntArgs23(const Text& procedure, const Text& p1, int p2, int p3, const Text& p4,
                              const Text& p5, const Text& p6) {
  Arguments args(7);
  Variant::Text(args[0], procedure);
  Variant::Text(args[1], p1);
  Variant::Int(args[2], p2);
  Variant::Int(args[3], p3);
  Variant::Text(args[4], p4);
  Variant::Text(args[5], p5);
  Variant::Text(args[6], p6);
  return RunWith(object_.get(), args);
}

Text ScriptHost::Language(std::optional<int> language) {
  const int which = language.value_or(0);
  if (which == 0 || which == 1) {
    Arguments value(1);
    Variant::Text(value[0], which == 0 ? "JScript" : "vbs");
    Invoke(object_.get(), L"Language", DISPATCH_PROPERTYPUT, value, nullptr);
  }
  Arguments none(0);
  Variant result;
  return Invoke(object_.get(), L"Language", DISPATCH_PROPERTYGET, none, result.get()) ? AsText(*result.get()) : Text();
}

namespace {

// Writes the property when a value is given, then reads it back into result.
bool Property(IDispatch* object, const wchar_t* name, std::optional<int> value, VARTYPE type, VARIANT* result) {
  if (value) {
    Arguments args(1);
    if (type == VT_BOOL) {
      args[0].vt = VT_BOOL;
      args[0].boolVal = *value ? VARIANT_TRUE : VARIANT_FALSE;
    } else {
      Variant::Int(args[0], *value);
    }
    Invoke(object, name, DISPATCH_PROPERTYPUT, args, nullptr);
  }
  Arguments none(0);
  return Invoke(object, name, DISPATCH_PROPERTYGET, none, result);
}

int IntProperty(IDispatch* object, const wchar_t* name, std::optional<int> value) {
  Variant result;
  return Property(object, name, value, VT_I4, result.get()) ? AsInt(*result.get()) : 0;
}

}  // namespace

int ScriptHost::Timeout(std::optional<int> milliseconds) {
  return IntProperty(object_.get(), L"Timeout", milliseconds.value_or(-1));
}

int ScriptHost::State(std::optional<int> state) { return IntProperty(object_.get(), L"State", state); }

bool ScriptHost::AllowUI(std::optional<bool> allow) {
  std::optional<int> value;
  if (allow) value = *allow ? 1 : 0;
  Variant result;
  return Property(object_.get(), L"AllowUI", value, VT_BOOL, result.get()) && AsBool(*result.get());
}

int ScriptHost::SitehWnd(std::optional<int> window) {
  return IntProperty(object_.get(), L"SitehWnd", window);
}

void ScriptHost::AddCode(const Text& code) {
  Arguments args(1);
  Variant::Text(args[0], code);
  Invoke(object_.get(), L"AddCode", DISPATCH_METHOD, args, nullptr);
}

Text ScriptTimestamp() {
  ScriptHost host;
  return host.Eval("new Date().getTime()");
}
