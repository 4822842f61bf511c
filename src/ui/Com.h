// Owners for COM interface pointers, BSTRs and VARIANTs, shared by every module that
// talks to COM objects on the window thread. The window thread joins OLE once for the
// whole run (TApplication::Initialize); nothing here initialises COM.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string>
#include <utility>

namespace ui {

// Releases a COM interface pointer when it goes out of scope.
template <typename T>
class TComPtr {
 public:
  TComPtr() = default;
  // Takes over a reference the caller already holds.
  explicit TComPtr(T* owned) : FPtr(owned) {}
  TComPtr(const TComPtr&) = delete;
  TComPtr& operator=(const TComPtr&) = delete;
  TComPtr(TComPtr&& other) noexcept : FPtr(std::exchange(other.FPtr, nullptr)) {}
  TComPtr& operator=(TComPtr&& other) noexcept {
    std::swap(FPtr, other.FPtr);
    return *this;
  }
  ~TComPtr() { Reset(); }
  void Reset() {
    if (FPtr) std::exchange(FPtr, nullptr)->Release();
  }
  // For out-parameters: the pointer must be empty.
  T** operator&() { return &FPtr; }
  void** Out() { return reinterpret_cast<void**>(&FPtr); }
  T* operator->() const { return FPtr; }
  T* Get() const { return FPtr; }
  explicit operator bool() const { return FPtr != nullptr; }

 private:
  T* FPtr = nullptr;
};

// A BSTR owned for one call.
class TBstr {
 public:
  TBstr() = default;
  explicit TBstr(const std::wstring& text)
      : FValue(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
  TBstr(const TBstr&) = delete;
  TBstr& operator=(const TBstr&) = delete;
  ~TBstr() { SysFreeString(FValue); }
  BSTR Get() const { return FValue; }
  BSTR* operator&() { return &FValue; }
  std::wstring Text() const { return FValue ? std::wstring(FValue, SysStringLen(FValue)) : L""; }

 private:
  BSTR FValue = nullptr;
};

// A VARIANT cleared when it goes out of scope.
struct TVariant : VARIANT {
  TVariant() { VariantInit(this); }
  TVariant(const TVariant&) = delete;
  TVariant& operator=(const TVariant&) = delete;
  TVariant(TVariant&& other) noexcept : VARIANT(other) { VariantInit(&other); }
  ~TVariant() { VariantClear(this); }
};

}  // namespace ui
