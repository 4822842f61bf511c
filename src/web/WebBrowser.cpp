#include "web/WebBrowser.h"

#include <commctrl.h>
#include <mshtmhst.h>

#include "ui/Application.h"
#include "ui/Subclass.h"
#include "web/Automation.h"
#include "web/BrowserEmulation.h"
#include "web/Pages.h"

namespace web {

namespace {

// {8856F961-340A-11D0-A96B-00C04FD705A2}: the platform's web browser control.
constexpr CLSID kWebBrowserClass = {
    0x8856f961, 0x340a, 0x11d0, {0xa9, 0x6b, 0x00, 0xc0, 0x4f, 0xd7, 0x05, 0xa2}};
// {34A715A0-6587-11D0-924A-0020AFC7AC4D}: DWebBrowserEvents2, the control's events.
constexpr IID kBrowserEvents = {
    0x34a715a0, 0x6587, 0x11d0, {0x92, 0x4a, 0x00, 0x20, 0xaf, 0xc7, 0xac, 0x4d}};
// Dispatch ids fixed by the control's type library.
constexpr DISPID kNavigate = 104;
constexpr DISPID kDocument = 203;
constexpr DISPID kDocumentComplete = 259;
constexpr DISPID kNewWindow2 = 251;  // (ppDisp, Cancel)
constexpr DISPID kNewWindow3 = 273;  // (ppDisp, Cancel, dwFlags, bstrUrlContext, bstrUrl)

// How a panel's page is drawn: as part of the window, without the 3-D borders inside
// and around it, with the system's themed look for its controls, without scroll bars
// (the panels' pages are laid out to fit them), and without a help entry anywhere.
constexpr DWORD kHostFlags = DOCHOSTUIFLAG_NO3DBORDER | DOCHOSTUIFLAG_NO3DOUTERBORDER |
                             DOCHOSTUIFLAG_THEME | DOCHOSTUIFLAG_SCROLL_NO |
                             DOCHOSTUIFLAG_DISABLE_HELP_MENU;

// The event argument `index` (in the event's own order) of `params`, looking through a
// by-reference variant; nullptr when there is no such argument.
VARIANT* EventArgument(DISPPARAMS* params, UINT index) {
  if (!params || index >= params->cArgs) return nullptr;
  VARIANT* argument = &params->rgvarg[params->cArgs - 1 - index];
  return argument->vt == (VT_BYREF | VT_VARIANT) ? argument->pvarVal : argument;
}

// Sets the by-reference Boolean Cancel of an event.
void CancelEvent(DISPPARAMS* params, UINT index) {
  VARIANT* cancel = EventArgument(params, index);
  if (cancel && cancel->vt == (VT_BYREF | VT_BOOL) && cancel->pboolVal)
    *cancel->pboolVal = VARIANT_TRUE;
  else if (cancel && cancel->vt == VT_BOOL)
    cancel->boolVal = VARIANT_TRUE;
}

std::wstring EventText(DISPPARAMS* params, UINT index) {
  VARIANT* text = EventArgument(params, index);
  BSTR value = !text                              ? nullptr
               : text->vt == VT_BSTR              ? text->bstrVal
               : text->vt == (VT_BYREF | VT_BSTR) ? *text->pbstrVal
                                                  : nullptr;
  return value ? std::wstring(value, SysStringLen(value)) : std::wstring();
}

constexpr UINT_PTR kSubclassId = 0x5745;  // "WE"

}  // namespace

// The container side of one control. Reference counted, because the control keeps
// references to its site; the owner detaches itself before it goes.
class TWebBrowser::TSite final : public IOleClientSite,
                                 public IOleInPlaceSite,
                                 public IOleInPlaceFrame,
                                 public IDocHostUIHandler,
                                 public IDispatch {
 public:
  explicit TSite(TWebBrowser* owner) : FOwner(owner) {}
  void Detach() { FOwner = nullptr; }

  // IUnknown
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (iid == IID_IUnknown || iid == IID_IOleClientSite)
      *out = static_cast<IOleClientSite*>(this);
    else if (iid == IID_IOleWindow || iid == IID_IOleInPlaceSite)
      *out = static_cast<IOleInPlaceSite*>(this);
    else if (iid == IID_IOleInPlaceUIWindow || iid == IID_IOleInPlaceFrame)
      *out = static_cast<IOleInPlaceFrame*>(this);
    else if (iid == IID_IDocHostUIHandler)
      *out = static_cast<IDocHostUIHandler*>(this);
    else if (iid == IID_IDispatch || iid == kBrowserEvents)
      *out = static_cast<IDispatch*>(this);
    else
      return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++FReferences; }
  STDMETHODIMP_(ULONG) Release() override {
    ULONG left = --FReferences;
    if (left == 0) delete this;
    return left;
  }

  // IOleClientSite: nothing is ever saved, and there is no container document.
  STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
  STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** moniker) override {
    if (moniker) *moniker = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP GetContainer(IOleContainer** container) override {
    if (container) *container = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP ShowObject() override { return S_OK; }
  STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
  STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }

  // IOleWindow, for the in-place site and the frame alike: the panel.
  STDMETHODIMP GetWindow(HWND* window) override {
    if (!window) return E_POINTER;
    *window = FOwner ? FOwner->FParent : nullptr;
    return *window ? S_OK : E_FAIL;
  }
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

  // IOleInPlaceSite: activation is always allowed, in the panel's client area.
  STDMETHODIMP CanInPlaceActivate() override { return FOwner ? S_OK : S_FALSE; }
  STDMETHODIMP OnInPlaceActivate() override { return S_OK; }
  STDMETHODIMP OnUIActivate() override { return S_OK; }
  STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document,
                                LPRECT position, LPRECT clip, LPOLEINPLACEFRAMEINFO info) override {
    if (!frame || !document || !position || !clip || !info) return E_POINTER;
    if (!FOwner) return E_UNEXPECTED;
    AddRef();
    *frame = this;
    *document = nullptr;
    GetClientRect(FOwner->FParent, position);
    *clip = *position;
    info->fMDIApp = FALSE;
    info->hwndFrame = GetAncestor(FOwner->FParent, GA_ROOT);
    info->haccel = nullptr;
    info->cAccelEntries = 0;
    return S_OK;
  }
  STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
  STDMETHODIMP OnUIDeactivate(BOOL) override { return S_OK; }
  STDMETHODIMP OnInPlaceDeactivate() override { return S_OK; }
  STDMETHODIMP DiscardUndoState() override { return E_NOTIMPL; }
  STDMETHODIMP DeactivateAndUndo() override { return E_NOTIMPL; }
  STDMETHODIMP OnPosRectChange(LPCRECT position) override {
    if (FOwner && FOwner->FInPlace && position)
      FOwner->FInPlace->SetObjectRects(position, position);
    return S_OK;
  }

  // IOleInPlaceUIWindow and IOleInPlaceFrame: no tool space, menus or status bar.
  STDMETHODIMP GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
  STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
  STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS widths) override {
    return widths ? INPLACE_E_NOTOOLSPACE : S_OK;
  }
  STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override { return S_OK; }
  STDMETHODIMP InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
  STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
  STDMETHODIMP RemoveMenus(HMENU) override { return E_NOTIMPL; }
  STDMETHODIMP SetStatusText(LPCOLESTR) override { return S_OK; }
  STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }
  STDMETHODIMP TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

  // IDocHostUIHandler: a page never opens its own context menu, whether the mouse or
  // the keyboard asks for it, and is drawn as part of the window; everything else is
  // left to the control's defaults.
  STDMETHODIMP ShowContextMenu(DWORD, POINT*, IUnknown*, IDispatch*) override { return S_OK; }
  STDMETHODIMP GetHostInfo(DOCHOSTUIINFO* info) override {
    if (!info) return E_POINTER;
    info->dwFlags = kHostFlags;
    info->dwDoubleClick = DOCHOSTUIDBLCLK_DEFAULT;
    return S_OK;
  }
  STDMETHODIMP ShowUI(DWORD, IOleInPlaceActiveObject*, IOleCommandTarget*, IOleInPlaceFrame*,
                      IOleInPlaceUIWindow*) override {
    return S_FALSE;
  }
  STDMETHODIMP HideUI() override { return S_OK; }
  STDMETHODIMP UpdateUI() override { return S_OK; }
  STDMETHODIMP OnDocWindowActivate(BOOL) override { return S_OK; }
  STDMETHODIMP OnFrameWindowActivate(BOOL) override { return S_OK; }
  STDMETHODIMP ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override { return S_OK; }
  STDMETHODIMP TranslateAccelerator(LPMSG, const GUID*, DWORD) override { return S_FALSE; }
  STDMETHODIMP GetOptionKeyPath(LPOLESTR* key, DWORD) override {
    if (key) *key = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP GetDropTarget(IDropTarget*, IDropTarget** target) override {
    if (target) *target = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP GetExternal(IDispatch** external) override {
    if (external) *external = nullptr;
    return S_FALSE;
  }
  STDMETHODIMP TranslateUrl(DWORD, LPWSTR, LPWSTR* translated) override {
    if (translated) *translated = nullptr;
    return S_FALSE;
  }
  STDMETHODIMP FilterDataObject(IDataObject*, IDataObject** filtered) override {
    if (filtered) *filtered = nullptr;
    return S_FALSE;
  }

  // IDispatch, as the DWebBrowserEvents2 sink: document-complete goes to the owner, a
  // new window is refused, every other event is acknowledged and dropped.
  STDMETHODIMP GetTypeInfoCount(UINT* count) override {
    if (count) *count = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
    if (info) *info = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                      UINT*) override {
    // The control asks with the address first (NewWindow3); the older event, without
    // one, comes only where that was not raised or not cancelled.
    if (id == kNewWindow2 || id == kNewWindow3) {
      CancelEvent(params, 1);
      std::wstring address = id == kNewWindow3 ? EventText(params, 4) : std::wstring();
      // Only web addresses leave the panel; a page's file:, javascript:, res: or own
      // scheme does nothing at all.
      if (FOwner && IsWebAddress(address)) {
        HWND owner = GetAncestor(FOwner->FParent, GA_ROOT);
        ui::Application().Guard([&] { OpenInDefaultBrowser(owner, address); });
      }
      return S_OK;
    }
    if (id == kDocumentComplete && FOwner) FOwner->KeepFocusOutside();
    if (id == kDocumentComplete && FOwner && FOwner->OnDocumentComplete) {
      TWebBrowser* owner = FOwner;
      AddRef();  // the handler may destroy the owner; this site lives until it returns
      ui::Application().Guard([owner] { owner->OnDocumentComplete(); });
      Release();
    }
    return S_OK;
  }

 private:
  ~TSite() = default;
  ULONG FReferences = 1;
  TWebBrowser* FOwner;
};

TWebBrowser::TWebBrowser(HWND parent) : FParent(parent), FSite(new TSite(this)) {
  // Before the process's first control, which is when the control reads it.
  static const bool kEmulationSet = [] {
    SetBrowserEmulation();
    return true;
  }();
  (void)kEmulationSet;
  if (!Activate()) Close();
}

TWebBrowser::~TWebBrowser() {
  Close();
  FSite->Detach();
  FSite->Release();
}

bool TWebBrowser::Activate() {
  ui::TComPtr<IUnknown> control;
  if (FAILED(CoCreateInstance(kWebBrowserClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                              control.Out())) ||
      FAILED(control->QueryInterface(IID_IOleObject, FObject.Out())))
    return false;
  if (FAILED(FObject->SetClientSite(FSite))) return false;
  RECT area{};
  GetClientRect(FParent, &area);
  if (FAILED(FObject->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, FSite, 0, FParent, &area)))
    return false;
  if (FAILED(control->QueryInterface(IID_IDispatch, FBrowser.Out()))) return false;
  // Without these the control still shows pages; it only keeps its first size or its
  // pages keep their own look.
  control->QueryInterface(IID_IOleInPlaceObject, FInPlace.Out());
  ConnectEvents(control.Get());
  FSubclassed =
      ui::SetSubclass(FParent, ParentProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this)) != FALSE;
  return true;
}

void TWebBrowser::ConnectEvents(IUnknown* control) {
  ui::TComPtr<IConnectionPointContainer> points;
  if (FAILED(control->QueryInterface(IID_IConnectionPointContainer, points.Out()))) return;
  ui::TComPtr<IConnectionPoint> events;
  if (FAILED(points->FindConnectionPoint(kBrowserEvents, &events))) return;
  if (SUCCEEDED(events->Advise(static_cast<IDispatch*>(FSite), &FEventsCookie)))
    FEvents = std::move(events);
}

// Undoes whatever Activate() got to, last step first.
void TWebBrowser::Close() {
  if (FSubclassed) ui::RemoveSubclass(FParent, ParentProc, kSubclassId);
  FSubclassed = false;
  if (FEvents) FEvents->Unadvise(FEventsCookie);
  FEvents.Reset();
  FBrowser.Reset();
  if (FInPlace) FInPlace->InPlaceDeactivate();
  FInPlace.Reset();
  if (FObject) {
    FObject->Close(OLECLOSE_NOSAVE);
    FObject->SetClientSite(nullptr);
  }
  FObject.Reset();
}

void TWebBrowser::Navigate(const std::wstring& url) {
  if (!FBrowser) return;
  ui::TVariant address = TextValue(url);
  VARIANT empty;
  VariantInit(&empty);
  const VARIANT args[] = {address, empty, empty, empty, empty};
  // Where the user has the focus outside the page, or the window itself when nothing has
  // it, is where it stays while the page loads.
  HWND focus = GetFocus();
  bool inPage = focus && (focus == FParent || IsChild(FParent, focus));
  FFocusOutside = inPage ? nullptr : focus ? focus : GetAncestor(FParent, GA_ROOT);
  Invoke(FBrowser.Get(), kNavigate, DISPATCH_METHOD, args, 5, L"Navigate");
  KeepFocusOutside();
}

void TWebBrowser::KeepFocusOutside() {
  HWND focus = GetFocus();
  if (FFocusOutside && focus && IsChild(FParent, focus) && IsWindow(FFocusOutside))
    SetFocus(FFocusOutside);
}

void TWebBrowser::FitToParent() {
  if (!FInPlace) return;
  RECT area{};
  GetClientRect(FParent, &area);
  FInPlace->SetObjectRects(&area, &area);
}

LRESULT CALLBACK TWebBrowser::ParentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                         UINT_PTR, DWORD_PTR data) {
  auto* browser = reinterpret_cast<TWebBrowser*>(data);
  if (message == WM_SIZE) browser->FitToParent();
  // A click into the page gives it the focus for good.
  if (message == WM_PARENTNOTIFY && LOWORD(wParam) >= WM_LBUTTONDOWN &&
      LOWORD(wParam) <= WM_MBUTTONDBLCLK)
    browser->FFocusOutside = nullptr;
  // The control goes with its panel, while the windows it lives in still exist, whether
  // the panel's window or this object goes first.
  if (message == WM_DESTROY) browser->Close();
  return ui::DefSubclass(window, message, wParam, lParam);
}

void HideBorderAndScrollBars(IDispatch* browser) {
  if (!browser) return;
  // A control between pages may have no document, or one without a body yet.
  ui::TComPtr<IDispatch> document;
  try {
    document = AsObject(Invoke(browser, kDocument, DISPATCH_PROPERTYGET, nullptr, 0, L"Document"));
  } catch (const EOleError&) {
    return;
  }
  if (!document) return;
  ui::TComPtr<IDispatch> body;
  try {
    body = AsObject(GetProperty(document.Get(), L"body"));
  } catch (const EOleError&) {
    return;
  }
  if (!body) return;

  ui::TComPtr<IDispatch> style = AsObject(GetProperty(body.Get(), L"style"));
  if (!style) ThrowOleError(L"style", E_POINTER);
  SetProperty(style.Get(), L"borderStyle", TextValue(L"none"));

  ui::TComPtr<IDispatch> topDocument = AsObject(GetProperty(browser, L"Document"));
  ui::TComPtr<IDispatch> topBody =
      topDocument ? AsObject(GetProperty(topDocument.Get(), L"body")) : ui::TComPtr<IDispatch>();
  if (!topBody) ThrowOleError(L"body", E_POINTER);
  SetProperty(topBody.Get(), L"Scroll", TextValue(L"no"));
}

}  // namespace web
