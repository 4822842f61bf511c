// Stand-ins for the browser control's automation and events and for the browser
// automation server: they do only what the program asks of them and log each call with
// its arguments. After each Navigate the browser raises document-complete four times:
// without a document, with a document without a body, then for the top document and
// for a frame. Members named in web_standin.refuse beside the DLL (one a line) are
// refused as Wine's own automation server refuses its window properties. After each
// load a page asks for a new window for each line of web_standin.newwindow.
#include <windows.h>
#include <ocidl.h>
#include <mshtmhst.h>
#include <ole2.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace {

// The control's class and the test's own {5E1F0001-7E57-4AB0-9D1C-0000000000AA}.
constexpr CLSID kBrowserClass = {
    0x8856f961, 0x340a, 0x11d0, {0xa9, 0x6b, 0, 0xc0, 0x4f, 0xd7, 5, 0xa2}};
constexpr CLSID kAppClass = {0x5e1f0001, 0x7e57, 0x4ab0, {0x9d, 0x1c, 0, 0, 0, 0, 0, 0xaa}};
HMODULE gModule;
int gStage = 2;  // of the events after a Navigate: 0 no document, 1 no body, then all there

FILE* OpenBeside(const wchar_t* extension, const wchar_t* mode) {
  wchar_t path[MAX_PATH];
  GetModuleFileNameW(gModule, path, MAX_PATH);
  wcscpy(wcsrchr(path, L'.'), extension);
  return _wfopen(path, mode);
}

void Log(const std::wstring& line) {
  char text[4096];
  int n = WideCharToMultiByte(CP_UTF8, 0, (line + L"\n").c_str(), -1, text, sizeof text, 0, 0);
  if (FILE* file = OpenBeside(L".log", L"ab")) fwrite(text, 1, n - 1, file), fclose(file);
}

bool Refused(const std::wstring& name) {
  bool refused = false;
  if (FILE* file = OpenBeside(L".refuse", L"r")) {
    for (char line[64]; !refused && fgets(line, sizeof line, file);)
      refused = !_wcsicmp(std::wstring(line, line + strcspn(line, "\r\n")).c_str(), name.c_str());
    fclose(file);
  }
  return refused;
}

std::wstring Text(const VARIANT& v) {
  if (v.vt == VT_BOOL) return v.boolVal ? L"true" : L"false";
  if (v.vt == VT_I4) return std::to_wstring(v.lVal);
  return v.vt == VT_BSTR ? v.bstrVal : v.vt == VT_EMPTY ? L"empty" : L"vt" + std::to_wstring(v.vt);
}

// An automation object that logs every call; reading a property gives a new object
// labelled with the property's name.
struct TRecorder : IDispatch {
  explicit TRecorder(std::wstring label) : Label(std::move(label)) {}
  std::wstring Label;
  std::vector<std::wstring> Names;  // dispatch id 1000 + index
  ULONG Refs = 1;

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    *out = iid == IID_IUnknown || iid == IID_IDispatch ? this : nullptr;
    return *out ? (AddRef(), S_OK) : E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++Refs; }
  STDMETHODIMP_(ULONG) Release() override {  // kept for the process; the log says when
    if (--Refs == 0) Log(Label + L" released");
    return Refs;
  }
  STDMETHODIMP GetTypeInfoCount(UINT* n) override { return *n = 0, S_OK; }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT, LCID, DISPID* ids) override {
    Names.push_back(names[0]);
    return *ids = 999 + static_cast<DISPID>(Names.size()), S_OK;
  }
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO*, UINT*) override {
    std::wstring name = id == 104 ? L"Navigate" : id == 203 ? L"Document" : Names.at(id - 1000);
    std::wstring line = Label +
                        (flags & DISPATCH_PROPERTYGET   ? L" get "
                         : flags & DISPATCH_PROPERTYPUT ? L" put "
                                                        : L" call ") +
                        name;
    for (UINT i = params->cArgs; i-- > 0;) line += L" " + Text(params->rgvarg[i]);
    Log(line);
    if (result) VariantInit(result);
    if (Refused(name)) return E_NOTIMPL;
    if ((flags & DISPATCH_PROPERTYGET) && gStage > (name == L"Document" ? 0 : name == L"body"))
      result->vt = VT_DISPATCH, result->pdispVal = new TRecorder(name);
    return S_OK;
  }
};

// The browser control: the platform's own, created straight from its module, is
// in-place activated as usual; this object takes over its automation and its events.
struct TBrowser final : TRecorder, IConnectionPointContainer, IConnectionPoint {
  TBrowser() : TRecorder(L"browser") {
    DWORD mode = 0, size = sizeof mode;  // the manager's document mode, 0 for none
    RegGetValueW(HKEY_CURRENT_USER,
                 L"Software\\Microsoft\\Internet Explorer\\Main\\FeatureControl\\"
                 L"FEATURE_BROWSER_EMULATION",
                 L"VornisTools.exe", RRF_RT_REG_DWORD, nullptr, &mode, &size);
    Log(L"browser made in mode " + std::to_wstring(mode));
    HMODULE module = LoadLibraryW(L"ieframe.dll");
    auto classObject = reinterpret_cast<decltype(&DllGetClassObject)>(
        reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
    IClassFactory* factory = nullptr;
    classObject(kBrowserClass, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&Control));
  }
  IUnknown* Control = nullptr;
  IDispatch* Sink = nullptr;
  inline static std::vector<TBrowser*> Navigated;

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IConnectionPointContainer)
      *out = static_cast<IConnectionPointContainer*>(this);
    else if (iid == IID_IUnknown || iid == IID_IDispatch)
      *out = static_cast<IDispatch*>(this);
    else
      return Control->QueryInterface(iid, out);
    return AddRef(), S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return TRecorder::AddRef(); }
  // The last release says whether the control's window was still there.
  STDMETHODIMP_(ULONG) Release() override {
    if (Refs == 1 && Window && !IsWindow(Window)) Label += L" after its window";
    return TRecorder::Release();
  }
  HWND Window = nullptr;
  // At the first Navigate: the size the control has in place, and whether its site lets
  // a page open its own context menu.
  void Place() {
    IOleInPlaceObject* placed = nullptr;
    IOleObject* object = nullptr;
    IOleClientSite* site = nullptr;
    IDocHostUIHandler* host = nullptr;
    HWND window = nullptr;
    RECT r{};
    if (Label != L"browser" || FAILED(QueryInterface(IID_IOleInPlaceObject, (void**)&placed)) ||
        FAILED(placed->GetWindow(&window)) || !GetClientRect(window, &r))
      return;
    Window = window;
    PageProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(KeyLogger)));
    Label += L" " + std::to_wstring(r.right) + L"x" + std::to_wstring(r.bottom);
    QueryInterface(IID_IOleObject, (void**)&object);
    object->GetClientSite(&site);
    if (SUCCEEDED(site->QueryInterface(IID_IDocHostUIHandler, (void**)&host)))
      Log(Label + L" context menu " + (host->ShowContextMenu(0, 0, 0, 0) ? L"shown" : L"kept"));
    DOCHOSTUIINFO info{sizeof info, 0, 0, nullptr, nullptr};
    DWORD look = DOCHOSTUIFLAG_NO3DBORDER | DOCHOSTUIFLAG_THEME | DOCHOSTUIFLAG_SCROLL_NO;
    if (host && host->GetHostInfo(&info) == S_OK && (info.dwFlags & look) == look)
      Log(Label + L" drawn flat, themed, unscrolled");
  }
  inline static WNDPROC PageProc;  // the page window's; the key logger logs Alt+key
  static LRESULT CALLBACK KeyLogger(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SYSKEYDOWN) Log(L"page Alt+" + std::to_wstring(wParam));
    return CallWindowProcW(PageProc, window, message, wParam, lParam);
  }
  STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params,
                      VARIANT* result, EXCEPINFO* error, UINT* bad) override {
    // Like the platform's control on some systems, a page takes the focus as it loads.
    if (id == 104)
      Place(), SetFocus(Window), Navigated.push_back(this), SetTimer(nullptr, 0, 0, Complete);
    return TRecorder::Invoke(id, iid, lcid, flags, params, result, error, bad);
  }
  static void CALLBACK Complete(HWND, UINT, UINT_PTR timer, DWORD) {
    KillTimer(nullptr, timer);
    for (TBrowser* browser : std::exchange(Navigated, {})) {
      for (gStage = 0, SetFocus(browser->Window); gStage < 4; ++gStage) {
        VARIANT args[2] = {};  // the page's address is not used
        args[1].vt = VT_DISPATCH;
        args[1].pdispVal = gStage == 3 ? new TRecorder(L"frame") : browser;
        DISPPARAMS params{args, nullptr, 2, 0};
        browser->Sink->Invoke(259, IID_NULL, 0, DISPATCH_METHOD, &params, 0, 0, 0);
      }
      FILE* list = OpenBeside(L".newwindow", L"r");
      for (char line[256]; list && fgets(line, sizeof line, list);)
        browser->NewWindow(std::wstring(line, line + strcspn(line, "\r\n")));
      if (list) fclose(list);
    }
  }
  // NewWindow3 (ppDisp, Cancel, flags, context, address), NewWindow2 for no address.
  void NewWindow(const std::wstring& address) {
    VARIANT_BOOL cancel = VARIANT_FALSE;
    VARIANT args[5] = {};  // last first
    args[0].vt = VT_BSTR, args[0].bstrVal = SysAllocString(address.c_str());
    args[3].vt = VT_BYREF | VT_BOOL, args[3].pboolVal = &cancel;
    DISPPARAMS event{address.empty() ? args + 3 : args, nullptr, address.empty() ? 2u : 5u, 0};
    Sink->Invoke(address.empty() ? 251 : 273, IID_NULL, 0, DISPATCH_METHOD, &event, 0, 0, 0);
    SysFreeString(args[0].bstrVal);
    Log(L"new window " + address + (cancel ? L" cancelled" : L" kept"));
  }
  STDMETHODIMP FindConnectionPoint(REFIID, IConnectionPoint** out) override {
    return *out = this, AddRef(), S_OK;
  }
  STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) override {
    *cookie = 1;
    return sink->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&Sink));
  }
  STDMETHODIMP Unadvise(DWORD) override { return S_OK; }
  STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints**) override { return E_NOTIMPL; }
  STDMETHODIMP GetConnectionInterface(IID*) override { return E_NOTIMPL; }
  STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer**) override {
    return E_NOTIMPL;
  }
  STDMETHODIMP EnumConnections(IEnumConnections**) override { return E_NOTIMPL; }
};

struct TFactory final : IClassFactory {
  bool Browser;
  explicit TFactory(bool browser) : Browser(browser) {}
  STDMETHODIMP QueryInterface(REFIID, void** out) override { return *out = this, S_OK; }
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  STDMETHODIMP CreateInstance(IUnknown*, REFIID iid, void** out) override {
    IDispatch* object = Browser ? static_cast<IDispatch*>(new TBrowser) : new TRecorder(L"app");
    HRESULT result = object->QueryInterface(iid, out);
    object->Release();
    return result;
  }
  STDMETHODIMP LockServer(BOOL) override { return S_OK; }
};

}  // namespace

extern "C" HRESULT __stdcall DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
  static TFactory browser(true), app(false);
  if (clsid != kBrowserClass && clsid != kAppClass) return CLASS_E_CLASSNOTAVAILABLE;
  return (clsid == kBrowserClass ? browser : app).QueryInterface(iid, out);
}

extern "C" HRESULT __stdcall DllCanUnloadNow() {
  return S_FALSE;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, void*) {
  if (reason == DLL_PROCESS_ATTACH) gModule = module;
  return TRUE;
}
