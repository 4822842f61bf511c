// The pages of the publisher's servers: the addresses the panels and the menu entries
// open, and the external browser window.
#pragma once

#include <windows.h>

#include <string>

namespace web {

// The full address of `path` on a server given as host[:port]: the build's scheme,
// "://", the host, the path. A bare "host:port" would read as a URL scheme of its own.
std::wstring SiteAddress(const char* host, const std::wstring& path = L"/");

// Upper panel: the update server's catalogue page. Lower panel: the advertisement strip.
std::wstring CataloguePageAddress();
std::wstring AdvertisementPageAddress();
// Home pages of the update server, the portal site and the forum site.
std::wstring UpdateHomeAddress();
std::wstring PortalHomeAddress();
std::wstring ForumHomeAddress();

// Moves `mainWindow` flush to the right edge of the primary screen (top unchanged),
// then opens `address` in a new bare browser window covering the screen from its left
// edge up to the main window and 30 pixels short of the bottom, through the automation
// server "InternetExplorer.Application", which is released again; the window stays.
// A server that refuses to place or strip the window still shows the page in it. Where
// the server cannot be created, or cannot show or navigate its window (which is then
// closed), the address goes to the user's default browser through the shell instead.
// Throws EOleError when the shell cannot open it either; the shell shows no message.
void OpenExternalPage(HWND mainWindow, const std::wstring& address);

// Opens `address` in the user's default browser through the shell, which shows no
// message of its own: throws EOleError when no browser can be started.
void OpenInDefaultBrowser(HWND owner, const std::wstring& address);

// Whether `address` is an absolute http or https address (the scheme in any case).
bool IsWebAddress(const std::wstring& address);

}  // namespace web
