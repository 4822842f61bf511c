// TTrayIcon: one icon in the notification area of the taskbar. It turns the shell's
// mouse notifications into click, double-click, button, move and enter/exit events,
// pops up an attached menu, shows balloon tips, can hide and restore the main window
// together with its taskbar button, and puts its icon back when the shell restarts.
//
// What it deliberately does not do: it never creates, shows or destroys the main
// window on its own account (the owner hands in the window handles), it keeps no
// settings, and it does nothing at design time (there is none). Window thread only;
// every event runs inside the application's guard.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <type_traits>

#include "tray/SimpleTimer.h"

namespace ui {
class TPopupMenu;
}

namespace tray {

// Message the shell sends to the shared window for every mouse or balloon event.
constexpr UINT kTrayCallbackMessage = 0x800;
// Longest texts the shell takes, in UTF-16 units; longer texts are cut, never refused.
constexpr size_t kMaxTipLength = 127;
constexpr size_t kMaxBalloonTextLength = 255;
constexpr size_t kMaxBalloonTitleLength = 63;

enum class TMouseButton { Left, Right, Middle };

// Modifier keys and the mouse button of an event, as flags.
using TShiftState = unsigned;
constexpr TShiftState kShiftKey = 0x01;
constexpr TShiftState kAltKey = 0x02;
constexpr TShiftState kCtrlKey = 0x04;
constexpr TShiftState kLeftButton = 0x08;
constexpr TShiftState kRightButton = 0x10;
constexpr TShiftState kMiddleButton = 0x20;

// Icon of a balloon tip; the values are the shell's.
enum class TBalloonIcon : DWORD { None = 0, Info = 1, Warning = 2, Error = 3 };

// Which notification protocol the shell uses for this icon: the old-style one (right
// button up is reported as such) or the version-5 one (context-menu and select
// notifications instead).
enum class TShellBehaviour { OldStyle, Version5 };

class TTrayIcon;
using TNotifyEvent = std::function<void(TTrayIcon& sender)>;
using TMouseEvent =
    std::function<void(TTrayIcon& sender, TMouseButton button, TShiftState shift, int x, int y)>;
using TMouseMoveEvent = std::function<void(TTrayIcon& sender, TShiftState shift, int x, int y)>;
using TCycleEvent = std::function<void(TTrayIcon& sender, int nextIndex)>;
using TStartupEvent = std::function<void(TTrayIcon& sender, bool& showMainForm)>;

struct TIconDeleter {
  void operator()(HICON icon) const { DestroyIcon(icon); }
};
using TIconHandle = std::unique_ptr<std::remove_pointer_t<HICON>, TIconDeleter>;

class TTrayIcon {
 public:
  // owner: the window that owns the component (the main form in this program), or
  // null. With an owner the component subclasses it (show, minimise to tray).
  explicit TTrayIcon(HWND owner = nullptr);
  virtual ~TTrayIcon();
  TTrayIcon(const TTrayIcon&) = delete;
  TTrayIcon& operator=(const TTrayIcon&) = delete;

  // The owning window; subclassed while set, released again when it is destroyed.
  HWND Owner() const { return FOwner; }
  void SetOwner(HWND owner);
  // The application's main window: hooked while set (minimise to tray, restore), and
  // the window that ConcealMainWindow and RestoreMainWindow act on.
  HWND MainWindow() const { return FMainWindow; }
  void SetMainWindow(HWND mainWindow);

  // Call once after the properties are set, before the main window is first shown.
  // Runs OnStartup (with an owner), then applies the icon, its visibility, cycling and
  // enter/exit detection to the shell. Returns whether the main window should be
  // shown: false when OnStartup said so (the main window is then concealed).
  bool Loaded();

  // Properties.
  HIMAGELIST IconList() const { return FIconList; }
  // Not owned; clear it before the image list is destroyed.
  void SetIconList(HIMAGELIST iconList);
  bool CycleIcons() const { return FCycleIcons; }
  void SetCycleIcons(bool cycleIcons);
  UINT CycleInterval() const { return FCycleTimer.Interval(); }
  void SetCycleInterval(UINT intervalMs);
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool enabled);
  const std::wstring& Hint() const { return FHint; }
  void SetHint(std::wstring hint);
  bool ShowHint() const { return FShowHint; }
  void SetShowHint(bool showHint);
  HICON Icon() const { return FIcon.get(); }
  // Copies the image (the caller keeps its handle); null removes it.
  void SetIcon(HICON icon);
  bool IconVisible() const { return FIconVisible; }
  void SetIconVisible(bool visible);
  int IconIndex() const { return FIconIndex; }
  void SetIconIndex(int index);
  ui::TPopupMenu* PopupMenu() const { return FPopupMenu; }
  // Not owned; clear it before the menu is destroyed.
  void SetPopupMenu(ui::TPopupMenu* popupMenu) { FPopupMenu = popupMenu; }
  bool LeftPopup() const { return FLeftPopup; }
  void SetLeftPopup(bool leftPopup) { FLeftPopup = leftPopup; }
  bool WantEnterExitEvents() const { return FWantEnterExitEvents; }
  void SetWantEnterExitEvents(bool want);
  bool MinimizeToTray() const { return FMinimizeToTray; }
  void SetMinimizeToTray(bool minimizeToTray) { FMinimizeToTray = minimizeToTray; }
  TShellBehaviour ShellBehaviour() const { return FShellBehaviour; }
  void SetShellBehaviour(TShellBehaviour behaviour);

  // Events (each optional).
  TNotifyEvent OnClick;
  TNotifyEvent OnDblClick;
  TMouseEvent OnMouseDown;
  TMouseEvent OnMouseUp;
  TMouseMoveEvent OnMouseMove;
  TNotifyEvent OnMouseEnter;
  TNotifyEvent OnMouseExit;
  TCycleEvent OnCycle;
  TNotifyEvent OnBalloonHintShow;
  TNotifyEvent OnBalloonHintHide;
  TNotifyEvent OnBalloonHintTimeout;
  TNotifyEvent OnBalloonHintClick;
  TNotifyEvent OnMinimizeToTray;
  TStartupEvent OnStartup;

  // Shell operations; each returns the shell's verdict.
  virtual bool AddTrayIcon();
  virtual bool DeleteTrayIcon();
  virtual bool UpdateTrayIcon();

  // Shows a balloon over the icon; false when the shell refuses it (also when the
  // icon is not shown). Texts longer than the shell takes are cut.
  bool ShowBalloonTip(const std::wstring& title, const std::wstring& text, TBalloonIcon icon,
                      std::uint8_t timeoutSeconds);
  // Removes a showing balloon.
  bool ClearBalloonTip();

  // Restores a minimised main window, shows it and brings it to the foreground.
  void RestoreMainWindow();
  // Hides the main window and its taskbar button.
  void ConcealMainWindow();
  // Hides the window that carries the main window's taskbar button when that is a
  // separate owner window (a main window without owner loses its button by hiding).
  void HideTaskbarButton();
  // Pops the menu up at the cursor position.
  void PopupMenuAtCursor();

  // The identifier of this icon towards the shell; unique in the process.
  UINT IconId() const { return FIconData.uID; }
  // The record last prepared for the shell (tip, balloon texts, flags).
  const NOTIFYICONDATAW& IconData() const { return FIconData; }
  // The window shared by all tray icons, which receives the shell's notifications;
  // null while no tray icon exists.
  static HWND HandlerWindow();

 protected:
  // Raise the matching event when it is assigned; override to react in a subclass.
  virtual void Click();
  virtual void DblClick();
  virtual void Cycle(int nextIndex);
  virtual void MouseDown(TMouseButton button, TShiftState shift, int x, int y);
  virtual void MouseUp(TMouseButton button, TShiftState shift, int x, int y);
  virtual void MouseMove(TShiftState shift, int x, int y);
  virtual void MouseEnter();
  virtual void MouseExit();
  // Conceals the main window and shows the icon.
  virtual void DoMinimizeToTray();

 private:
  friend class TTrayIconHandler;

  void HandleNotification(UINT event);
  void HandleShellRestart();
  void PopupMenuAt(int x, int y);
  void ClickTimerStep();
  void CycleStep();
  void ExitCheck();
  bool RunStartup();
  void PrepareIconData();
  bool Notify(DWORD operation);
  void ApplyShellVersion();
  template <typename Fn>
  void Raise(Fn&& fn);
  void RaiseNotify(const TNotifyEvent& event);

  static LRESULT CALLBACK OwnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                    UINT_PTR subclassId, DWORD_PTR refData);
  static LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                         UINT_PTR subclassId, DWORD_PTR refData);

  HWND FOwner = nullptr;
  HWND FMainWindow = nullptr;

  HIMAGELIST FIconList = nullptr;
  bool FCycleIcons = false;
  bool FEnabled = true;
  std::wstring FHint;
  bool FShowHint = true;
  TIconHandle FIcon;
  bool FIconVisible = false;
  // The icon has been added to the shell at least once.
  bool FAskedShell = false;
  int FIconIndex = 0;
  ui::TPopupMenu* FPopupMenu = nullptr;
  bool FLeftPopup = false;
  bool FWantEnterExitEvents = false;
  bool FMinimizeToTray = false;
  TShellBehaviour FShellBehaviour = TShellBehaviour::OldStyle;

  NOTIFYICONDATAW FIconData{};
  TSimpleTimer FCycleTimer;
  TSimpleTimer FClickTimer;
  TSimpleTimer FExitTimer;
  POINT FLastMovePosition{};
  bool FCursorOutside = true;  // no mouse move seen since the last exit
  bool FLeftDown = false;      // left button went down on the icon
  bool FClickPending = false;  // released; the click waits for the click timer
  bool FDoubleClick = false;   // a double click cancelled the pending click
  bool FFirstWindowChangePending = true;
};

}  // namespace tray
