#include "web/Pages.h"

#include <shellapi.h>

#include "ServerConfig.h"
#include "ui/Application.h"
#include "web/Automation.h"

namespace web {

std::wstring SiteAddress(const char* host, const std::wstring& path) {
  return ui::Widen(vornis::server::kScheme) + L"://" + ui::Widen(host) + path;
}

std::wstring CataloguePageAddress() {
  return SiteAddress(vornis::server::kUpdateHost, L"/vornistools.php");
}
std::wstring AdvertisementPageAddress() {
  return SiteAddress(vornis::server::kAdHost, L"/ad/vornisshow/id/25");
}
std::wstring UpdateHomeAddress() {
  return SiteAddress(vornis::server::kUpdateHost);
}
std::wstring PortalHomeAddress() {
  return SiteAddress(vornis::server::kPortalHost);
}
std::wstring ForumHomeAddress() {
  return SiteAddress(vornis::server::kForumHost);
}

namespace {

// The automation object of `progId`, or empty when no such server can be created.
ui::TComPtr<IDispatch> CreateAutomationObject(const wchar_t* progId) {
  ui::TComPtr<IDispatch> object;
  CLSID server{};
  if (SUCCEEDED(CLSIDFromProgID(progId, &server)))
    CoCreateInstance(server, nullptr, CLSCTX_SERVER, IID_IDispatch, object.Out());
  return object;
}

// Sets a property of the browser window's look and place. These are niceties: a server
// that refuses one (Wine's refuses all but Visible and MenuBar) still shows the page.
void SetWindowProperty(IDispatch* browser, const wchar_t* name, int value) {
  try {
    SetProperty(browser, name, IntValue(value));
  } catch (const EOleError&) {
  }
}

// Shows `address` in the new browser window `browser`; false, with the window closed
// again as far as the server lets us, when the window cannot be shown or navigated.
bool NavigateBrowserWindow(IDispatch* browser, const std::wstring& address, int width, int height) {
  try {
    SetProperty(browser, L"Visible", BoolValue(true));
    SetWindowProperty(browser, L"left", 0);
    SetWindowProperty(browser, L"top", 0);
    SetWindowProperty(browser, L"height", height);
    SetWindowProperty(browser, L"width", width);
    SetWindowProperty(browser, L"menubar", 0);
    SetWindowProperty(browser, L"addressbar", 0);
    SetWindowProperty(browser, L"toolbar", 0);
    SetWindowProperty(browser, L"statusbar", 0);
    SetWindowProperty(browser, L"resizable", 0);
    CallMethod(browser, L"Navigate", TextValue(address));
    return true;
  } catch (const EOleError&) {
  }
  // A server that will not quit at least hides the window it opened.
  try {
    Invoke(browser, MemberId(browser, L"Quit"), DISPATCH_METHOD, nullptr, 0, L"Quit");
  } catch (const EOleError&) {
    try {
      SetProperty(browser, L"Visible", BoolValue(false));
    } catch (const EOleError&) {
    }
  }
  return false;
}

}  // namespace

void OpenInDefaultBrowser(HWND owner, const std::wstring& address) {
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof(info);
  // Our error box is the one message of a failure: the shell shows none of its own.
  info.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
  info.hwnd = owner;
  info.lpVerb = L"open";
  info.lpFile = address.c_str();
  info.nShow = SW_SHOWNORMAL;
  if (!ShellExecuteExW(&info)) ThrowOleError(address, HRESULT_FROM_WIN32(GetLastError()));
}

bool IsWebAddress(const std::wstring& address) {
  for (const wchar_t* scheme : {L"http://", L"https://"}) {
    size_t length = wcslen(scheme);
    if (address.size() > length &&
        CompareStringOrdinal(address.c_str(), static_cast<int>(length), scheme,
                             static_cast<int>(length), TRUE) == CSTR_EQUAL)
      return true;
  }
  return false;
}

void OpenExternalPage(HWND mainWindow, const std::wstring& address) {
  int screenWidth = GetSystemMetrics(SM_CXSCREEN);
  int screenHeight = GetSystemMetrics(SM_CYSCREEN);
  RECT bounds{};
  GetWindowRect(mainWindow, &bounds);
  int mainWidth = bounds.right - bounds.left;
  // Not a drag: the window's docked edges stay as they were.
  SetWindowPos(mainWindow, nullptr, screenWidth - mainWidth, bounds.top, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);

  ui::TComPtr<IDispatch> browser = CreateAutomationObject(L"InternetExplorer.Application");
  if (browser &&
      NavigateBrowserWindow(browser.Get(), address, screenWidth - mainWidth, screenHeight - 30))
    return;
  OpenInDefaultBrowser(mainWindow, address);
}

}  // namespace web
