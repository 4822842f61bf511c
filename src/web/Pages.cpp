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

void OpenInDefaultBrowser(HWND owner, const std::wstring& address) {
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof(info);
  info.fMask = SEE_MASK_NOASYNC;
  info.hwnd = owner;
  info.lpVerb = L"open";
  info.lpFile = address.c_str();
  info.nShow = SW_SHOWNORMAL;
  if (!ShellExecuteExW(&info)) ThrowOleError(address, HRESULT_FROM_WIN32(GetLastError()));
}

}  // namespace

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
  if (!browser) {
    OpenInDefaultBrowser(mainWindow, address);
    return;
  }
  SetProperty(browser.Get(), L"Visible", BoolValue(true));
  SetProperty(browser.Get(), L"left", IntValue(0));
  SetProperty(browser.Get(), L"top", IntValue(0));
  SetProperty(browser.Get(), L"height", IntValue(screenHeight - 30));
  SetProperty(browser.Get(), L"width", IntValue(screenWidth - mainWidth));
  SetProperty(browser.Get(), L"menubar", IntValue(0));
  SetProperty(browser.Get(), L"addressbar", IntValue(0));
  SetProperty(browser.Get(), L"toolbar", IntValue(0));
  SetProperty(browser.Get(), L"statusbar", IntValue(0));
  SetProperty(browser.Get(), L"resizable", IntValue(0));
  CallMethod(browser.Get(), L"Navigate", TextValue(address));
}

}  // namespace web
