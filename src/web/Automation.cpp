#include "web/Automation.h"

#include <algorithm>
#include <vector>

#include "ui/Application.h"

namespace web {

namespace {

std::wstring SystemText(HRESULT result) {
  wchar_t* buffer = nullptr;
  DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(result), 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::wstring text(buffer ? buffer : L"", length);
  LocalFree(buffer);
  while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' '))
    text.pop_back();
  if (text.empty()) {
    wchar_t code[32];
    wsprintfW(code, L"OLE error 0x%08lX", static_cast<unsigned long>(result));
    text = code;
  }
  return text;
}

// An EXCEPINFO whose texts are freed when it goes out of scope.
struct TExceptionInfo : EXCEPINFO {
  TExceptionInfo() : EXCEPINFO{} {}
  TExceptionInfo(const TExceptionInfo&) = delete;
  TExceptionInfo& operator=(const TExceptionInfo&) = delete;
  ~TExceptionInfo() {
    SysFreeString(bstrSource);
    SysFreeString(bstrDescription);
    SysFreeString(bstrHelpFile);
  }
};

}  // namespace

void ThrowOleError(const std::wstring& what, HRESULT result, const EXCEPINFO* exception) {
  std::wstring text;
  if (exception && exception->bstrDescription)
    text.assign(exception->bstrDescription, SysStringLen(exception->bstrDescription));
  if (text.empty()) text = SystemText(exception && exception->scode ? exception->scode : result);
  throw EOleError(ui::Narrow(what + L": " + text));
}

DISPID MemberId(IDispatch* object, const std::wstring& name) {
  DISPID id = DISPID_UNKNOWN;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name.c_str())};
  HRESULT result = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(result)) ThrowOleError(name, result);
  return id;
}

ui::TVariant Invoke(IDispatch* object, DISPID id, WORD flags, const VARIANT* args, UINT count,
                    const std::wstring& what) {
  // DISPPARAMS takes the arguments last first; the values are borrowed, not copied.
  std::vector<VARIANT> reversed(args, args + count);
  std::reverse(reversed.begin(), reversed.end());
  DISPID putId = DISPID_PROPERTYPUT;
  DISPPARAMS params{reversed.data(), nullptr, count, 0};
  if (flags == DISPATCH_PROPERTYPUT) {
    params.rgdispidNamedArgs = &putId;
    params.cNamedArgs = 1;
  }
  ui::TVariant result;
  TExceptionInfo exception;
  UINT badArgument = 0;
  HRESULT status =
      object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params,
                     flags == DISPATCH_PROPERTYPUT ? nullptr : &result, &exception, &badArgument);
  if (FAILED(status)) {
    if (status == DISP_E_EXCEPTION && exception.pfnDeferredFillIn)
      exception.pfnDeferredFillIn(&exception);
    ThrowOleError(what, status, status == DISP_E_EXCEPTION ? &exception : nullptr);
  }
  return result;
}

ui::TVariant GetProperty(IDispatch* object, const std::wstring& name) {
  return Invoke(object, MemberId(object, name), DISPATCH_PROPERTYGET, nullptr, 0, name);
}

void SetProperty(IDispatch* object, const std::wstring& name, const VARIANT& value) {
  Invoke(object, MemberId(object, name), DISPATCH_PROPERTYPUT, &value, 1, name);
}

void CallMethod(IDispatch* object, const std::wstring& name, const VARIANT& argument) {
  Invoke(object, MemberId(object, name), DISPATCH_METHOD, &argument, 1, name);
}

ui::TComPtr<IDispatch> AsObject(const VARIANT& value) {
  ui::TComPtr<IDispatch> object;
  if (value.vt == VT_DISPATCH && value.pdispVal) {
    value.pdispVal->AddRef();
    return ui::TComPtr<IDispatch>(value.pdispVal);
  }
  if (value.vt == VT_UNKNOWN && value.punkVal)
    value.punkVal->QueryInterface(IID_IDispatch, object.Out());
  return object;
}

VARIANT BoolValue(bool value) {
  VARIANT result;
  VariantInit(&result);
  result.vt = VT_BOOL;
  result.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
  return result;
}

VARIANT IntValue(int value) {
  VARIANT result;
  VariantInit(&result);
  result.vt = VT_I4;
  result.lVal = value;
  return result;
}

ui::TVariant TextValue(const std::wstring& text) {
  ui::TVariant result;
  result.vt = VT_BSTR;
  result.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  return result;
}

}  // namespace web
