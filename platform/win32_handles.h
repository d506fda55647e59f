// Owners for Win32 handles and COM objects.
//
// Every OS resource the engine opens is held by one of these move-only owners,
// so it is released on every path out of a function, including the early
// returns nobody tests. One generic owner serves all handle kinds through a
// traits class; each kind is a one-line alias. Kinds whose invalid value is
// NULL (processes, threads, tokens, keys, modules, service handles) are kept
// apart from those whose invalid value is INVALID_HANDLE_VALUE (files, find
// handles): the two must never be mixed up when checking for success.
#ifndef PLATFORM_WIN32_HANDLES_H_
#define PLATFORM_WIN32_HANDLES_H_

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <winreg.h>
#include <winsvc.h>

#include <utility>

#include "platform/ole_functions.h"

namespace platform {

// Owns one value of a handle type. Traits supply:
//   using Type = ...;             the handle type
//   static Type Invalid();        the value that means "nothing owned"
//   static void Close(Type);      releases a valid value
template <typename Traits>
class UniqueAny {
 public:
  using Type = typename Traits::Type;

  UniqueAny() : value_(Traits::Invalid()) {}
  explicit UniqueAny(Type value) : value_(value) {}
  ~UniqueAny() { reset(); }

  UniqueAny(UniqueAny&& other) noexcept : value_(other.release()) {}
  UniqueAny& operator=(UniqueAny&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueAny(const UniqueAny&) = delete;
  UniqueAny& operator=(const UniqueAny&) = delete;

  Type get() const { return value_; }
  bool is_valid() const { return value_ != Traits::Invalid(); }
  explicit operator bool() const { return is_valid(); }

  // Closes the owned value (if any) and takes `value`. Closing keeps the
  // thread's last-error value, so a caller can still read the error of the
  // call that failed before its owners went out of scope.
  void reset(Type value = Traits::Invalid()) {
    if (value_ != Traits::Invalid()) {
      DWORD error = GetLastError();
      Traits::Close(value_);
      SetLastError(error);
    }
    value_ = value;
  }

  // Gives up ownership without closing.
  Type release() {
    Type value = value_;
    value_ = Traits::Invalid();
    return value;
  }

  // For out-parameters: closes the owned value and returns the slot to fill.
  Type* put() {
    reset();
    return &value_;
  }

 private:
  Type value_;
};

namespace handle_traits {

struct File {
  using Type = HANDLE;
  static Type Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(Type h) { CloseHandle(h); }
};

struct Kernel {
  using Type = HANDLE;
  static Type Invalid() { return nullptr; }
  static void Close(Type h) { CloseHandle(h); }
};

struct Hkey {
  using Type = HKEY;
  static Type Invalid() { return nullptr; }
  static void Close(Type h) { RegCloseKey(h); }
};

struct Module {
  using Type = HMODULE;
  static Type Invalid() { return nullptr; }
  static void Close(Type h) { FreeLibrary(h); }
};

struct Find {
  using Type = HANDLE;
  static Type Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(Type h) { FindClose(h); }
};

struct ScHandle {
  using Type = SC_HANDLE;
  static Type Invalid() { return nullptr; }
  static void Close(Type h) { CloseServiceHandle(h); }
};

struct Bstr {
  using Type = BSTR;
  static Type Invalid() { return nullptr; }
  static void Close(Type s) { FreeBstr(s); }
};

struct LocalMemory {
  using Type = HLOCAL;
  static Type Invalid() { return nullptr; }
  static void Close(Type m) { LocalFree(m); }
};

// GDI objects the wizard creates: fonts and brushes (never a stock object,
// which DeleteObject would ignore anyway).
struct Font {
  using Type = HFONT;
  static Type Invalid() { return nullptr; }
  static void Close(Type f) { DeleteObject(f); }
};

struct Brush {
  using Type = HBRUSH;
  static Type Invalid() { return nullptr; }
  static void Close(Type b) { DeleteObject(b); }
};

// An icon loaded without LR_SHARED (a shared icon must never be destroyed).
struct Icon {
  using Type = HICON;
  static Type Invalid() { return nullptr; }
  static void Close(Type i) { DestroyIcon(i); }
};

}  // namespace handle_traits

// Files and other handles that report failure as INVALID_HANDLE_VALUE.
using UniqueHandle = UniqueAny<handle_traits::File>;
// Processes, threads, tokens, events: failure is NULL.
using UniqueKernelHandle = UniqueAny<handle_traits::Kernel>;
using UniqueHkey = UniqueAny<handle_traits::Hkey>;
// A module loaded with LoadLibrary (never one from GetModuleHandle).
using UniqueModule = UniqueAny<handle_traits::Module>;
using UniqueFindHandle = UniqueAny<handle_traits::Find>;
using UniqueScHandle = UniqueAny<handle_traits::ScHandle>;
using UniqueBstr = UniqueAny<handle_traits::Bstr>;
using UniqueLocalMemory = UniqueAny<handle_traits::LocalMemory>;
using UniqueFont = UniqueAny<handle_traits::Font>;
using UniqueBrush = UniqueAny<handle_traits::Brush>;
using UniqueIcon = UniqueAny<handle_traits::Icon>;

// Owns one reference to a COM object.
template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  // Takes over a reference the caller already holds (no AddRef).
  explicit ComPtr(T* pointer) : pointer_(pointer) {}
  ~ComPtr() { Reset(); }

  ComPtr(ComPtr&& other) noexcept : pointer_(other.Detach()) {}
  ComPtr& operator=(ComPtr&& other) noexcept {
    if (this != &other) {
      Reset();
      pointer_ = other.Detach();
    }
    return *this;
  }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;

  T* Get() const { return pointer_; }
  T* operator->() const { return pointer_; }
  explicit operator bool() const { return pointer_ != nullptr; }

  // Releases the held reference (if any).
  void Reset() {
    if (pointer_ != nullptr) {
      T* pointer = pointer_;
      pointer_ = nullptr;
      pointer->Release();
    }
  }

  // For out-parameters: releases the held reference and returns the slot.
  T** Put() {
    Reset();
    return &pointer_;
  }
  // The slot as void**, for CoCreateInstance and QueryInterface.
  void** PutVoid() { return reinterpret_cast<void**>(Put()); }

  T* Detach() {
    T* pointer = pointer_;
    pointer_ = nullptr;
    return pointer;
  }

  // QueryInterface for `iid` into `out`.
  template <typename U>
  HRESULT QueryInterfaceTo(REFIID iid, ComPtr<U>* out) const {
    if (pointer_ == nullptr) return E_POINTER;
    return pointer_->QueryInterface(iid, out->PutVoid());
  }

 private:
  T* pointer_ = nullptr;
};

// Joins the calling thread to a COM apartment for the owner's lifetime.
// CoUninitialize is called only when CoInitializeEx succeeded (S_OK or
// S_FALSE), exactly as COM's reference counting of initialisation asks.
class ScopedCoInitialize {
 public:
  explicit ScopedCoInitialize(DWORD flags) : result_(ComInitialize(flags)) {}
  ~ScopedCoInitialize() {
    if (SUCCEEDED(result_)) ComUninitialize();
  }
  ScopedCoInitialize(const ScopedCoInitialize&) = delete;
  ScopedCoInitialize& operator=(const ScopedCoInitialize&) = delete;

  bool succeeded() const { return SUCCEEDED(result_); }
  HRESULT result() const { return result_; }

 private:
  HRESULT result_;
};

// Restores the thread's last-error value when it goes out of scope, so that
// clean-up calls do not overwrite the error a caller is about to read. It
// captures the value when constructed: open it in a narrow scope around the
// clean-up, after the failing call, e.g.
//   { ScopedPreserveLastError keep; DeleteFileA(temporary); }
class ScopedPreserveLastError {
 public:
  ScopedPreserveLastError() : error_(GetLastError()) {}
  ~ScopedPreserveLastError() { SetLastError(error_); }
  ScopedPreserveLastError(const ScopedPreserveLastError&) = delete;
  ScopedPreserveLastError& operator=(const ScopedPreserveLastError&) = delete;

 private:
  DWORD error_;
};

}  // namespace platform

#endif  // PLATFORM_WIN32_HANDLES_H_
