// Internal helpers of the catalogue module: owners for COM pointers, BSTRs and the COM
// apartment, and the UTF-8 text of error messages.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string>
#include <utility>

namespace catalogue::detail {

// Releases a COM interface pointer when it goes out of scope.
template <typename T>
class TComPtr {
 public:
  TComPtr() = default;
  TComPtr(const TComPtr&) = delete;
  TComPtr& operator=(const TComPtr&) = delete;
  TComPtr(TComPtr&& other) noexcept : FPtr(std::exchange(other.FPtr, nullptr)) {}
  TComPtr& operator=(TComPtr&& other) noexcept {
    std::swap(FPtr, other.FPtr);
    return *this;
  }
  ~TComPtr() {
    if (FPtr) FPtr->Release();
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
  ~TVariant() { VariantClear(this); }
};

// Joins the calling thread to a single-threaded apartment for the owner's lifetime
// (a no-op when the thread already has one).
class TComApartment {
 public:
  TComApartment() : FResult(CoInitialize(nullptr)) {}
  TComApartment(const TComApartment&) = delete;
  TComApartment& operator=(const TComApartment&) = delete;
  ~TComApartment() {
    if (SUCCEEDED(FResult)) CoUninitialize();
  }

 private:
  HRESULT FResult;
};

// "0x80004005" for the messages of unexpected COM failures.
inline std::string HresultText(HRESULT result) {
  char buffer[16];
  wsprintfA(buffer, "0x%08lX", static_cast<unsigned long>(result));
  return buffer;
}

}  // namespace catalogue::detail
