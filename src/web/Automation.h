// Late-bound calls on automation objects (IDispatch), by member name or dispatch id,
// the way a script would make them. Every failure throws EOleError carrying the
// member's name and the object's or the system's description of the failure; nothing
// here retries or ignores an error.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <string>

#include "base/Exception.h"
#include "ui/Com.h"

namespace web {

class EOleError : public Exception {
 public:
  using Exception::Exception;
};

// Throws EOleError "<what>: <description of result>".
[[noreturn]] void ThrowOleError(const std::wstring& what, HRESULT result,
                                const EXCEPINFO* exception = nullptr);

// The dispatch id of the member `name`.
DISPID MemberId(IDispatch* object, const std::wstring& name);

// Calls member `id` with `flags` (DISPATCH_METHOD, DISPATCH_PROPERTYGET or
// DISPATCH_PROPERTYPUT) and `count` arguments given in their natural order; `what`
// names the member in errors. Returns the result (VT_EMPTY when there is none).
ui::TVariant Invoke(IDispatch* object, DISPID id, WORD flags, const VARIANT* args, UINT count,
                    const std::wstring& what);

// By name: reads a property, sets a property to one value, calls a method with one
// argument.
ui::TVariant GetProperty(IDispatch* object, const std::wstring& name);
void SetProperty(IDispatch* object, const std::wstring& name, const VARIANT& value);
void CallMethod(IDispatch* object, const std::wstring& name, const VARIANT& argument);

// The object a VT_DISPATCH or VT_UNKNOWN value holds, with its own reference; empty
// for anything else (VT_EMPTY, VT_NULL, a null pointer).
ui::TComPtr<IDispatch> AsObject(const VARIANT& value);

// Argument values. A text owns its BSTR.
VARIANT BoolValue(bool value);
VARIANT IntValue(int value);
ui::TVariant TextValue(const std::wstring& text);

}  // namespace web
