// COM, OLE Automation and common-control functions, looked up in the system
// folder on first use.
//
// A silent installation that creates no shortcut and no startup task needs
// none of ole32, oleaut32 and comctl32. Importing them would load them, and
// what they load in turn, into every run: under Wine that is a sixth of a
// small installation's time. Each function here behaves as the system
// function of the same purpose; when the DLL or the function cannot be found
// it fails as that function fails (E_FAIL, null, FALSE) and frees nothing.
#ifndef PLATFORM_OLE_FUNCTIONS_H_
#define PLATFORM_OLE_FUNCTIONS_H_

#include <windows.h>
#include <oleauto.h>

namespace platform {

// ole32
HRESULT ComInitialize(DWORD flags);  // CoInitializeEx(nullptr, flags)
void ComUninitialize();              // CoUninitialize
// CoInitializeSecurity for a client: default authentication, packet
// privacy, impersonation, no capabilities.
HRESULT ComInitializeClientSecurity();
HRESULT ComCreateInstance(REFCLSID clsid, DWORD context, REFIID iid, void** object);
void ComFreeMemory(void* memory);  // CoTaskMemFree

// oleaut32
BSTR AllocBstr(const wchar_t* text);  // SysAllocString
void FreeBstr(BSTR text);              // SysFreeString
void InitVariant(VARIANT* value);      // VariantInit
HRESULT ClearVariant(VARIANT* value);  // VariantClear

// comctl32 (version 6 through the executable's manifest)
BOOL InitializeCommonControls(DWORD classes);  // InitCommonControlsEx

}  // namespace platform

#endif  // PLATFORM_OLE_FUNCTIONS_H_
