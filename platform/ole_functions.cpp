#include "platform/ole_functions.h"

#include <commctrl.h>
#include <objbase.h>

#include "platform/system_library.h"

namespace platform {

namespace {

// The function `proc` of `dll`, looked up once and then kept.
template <typename F>
F Lookup(F* cache, const char* dll, const char* proc) {
  if (*cache == nullptr) *cache = GetSystemFunction<F>(dll, proc);
  return *cache;
}

}  // namespace

HRESULT ComInitialize(DWORD flags) {
  using Fn = HRESULT(WINAPI*)(LPVOID, DWORD);
  static Fn fn;
  Fn f = Lookup(&fn, "ole32.dll", "CoInitializeEx");
  return f ? f(nullptr, flags) : E_FAIL;
}

void ComUninitialize() {
  using Fn = void(WINAPI*)();
  static Fn fn;
  if (Fn f = Lookup(&fn, "ole32.dll", "CoUninitialize")) f();
}

HRESULT ComInitializeClientSecurity() {
  using Fn = HRESULT(WINAPI*)(PSECURITY_DESCRIPTOR, LONG, SOLE_AUTHENTICATION_SERVICE*, void*,
                              DWORD, DWORD, void*, DWORD, void*);
  static Fn fn;
  Fn f = Lookup(&fn, "ole32.dll", "CoInitializeSecurity");
  return f ? f(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_PKT_PRIVACY,
               RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, 0, nullptr)
           : E_FAIL;
}

HRESULT ComCreateInstance(REFCLSID clsid, DWORD context, REFIID iid, void** object) {
  using Fn = HRESULT(WINAPI*)(REFCLSID, LPUNKNOWN, DWORD, REFIID, LPVOID*);
  static Fn fn;
  Fn f = Lookup(&fn, "ole32.dll", "CoCreateInstance");
  if (f) return f(clsid, nullptr, context, iid, object);
  *object = nullptr;
  return E_FAIL;
}

void ComFreeMemory(void* memory) {
  using Fn = void(WINAPI*)(LPVOID);
  static Fn fn;
  if (Fn f = Lookup(&fn, "ole32.dll", "CoTaskMemFree")) f(memory);
}

BSTR AllocBstr(const wchar_t* text) {
  using Fn = BSTR(WINAPI*)(const OLECHAR*);
  static Fn fn;
  Fn f = Lookup(&fn, "oleaut32.dll", "SysAllocString");
  return f ? f(text) : nullptr;
}

void FreeBstr(BSTR text) {
  using Fn = void(WINAPI*)(BSTR);
  static Fn fn;
  if (Fn f = Lookup(&fn, "oleaut32.dll", "SysFreeString")) f(text);
}

void InitVariant(VARIANT* value) {
  using Fn = void(WINAPI*)(VARIANTARG*);
  static Fn fn;
  if (Fn f = Lookup(&fn, "oleaut32.dll", "VariantInit")) {
    f(value);
  } else {
    value->vt = VT_EMPTY;
  }
}

HRESULT ClearVariant(VARIANT* value) {
  using Fn = HRESULT(WINAPI*)(VARIANTARG*);
  static Fn fn;
  Fn f = Lookup(&fn, "oleaut32.dll", "VariantClear");
  return f ? f(value) : E_FAIL;
}

BOOL InitializeCommonControls(DWORD classes) {
  using Fn = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
  static Fn fn;
  Fn f = Lookup(&fn, "comctl32.dll", "InitCommonControlsEx");
  if (!f) return FALSE;
  INITCOMMONCONTROLSEX controls = {sizeof(controls), classes};
  return f(&controls);
}

}  // namespace platform
