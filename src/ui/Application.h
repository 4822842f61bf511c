// The application object: title, message loop, the error box, notices and message
// boxes (with a responder that tests install), modal dialogs, ProcessMessages, and the
// hidden window through which worker threads run code on the window thread.
//
// It does not own the forms: the entry point and tests create them; the application
// only knows which one is the main form, whose destruction ends Run(). Its window
// owns every form and carries the program's one taskbar button, captioned with the
// title.
#pragma once

#include <windows.h>

#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <string>

namespace ui {

class TForm;

// What a test sees of a message box: its caption, text and MB_* flags.
struct TMessageBoxRecord {
  std::wstring Caption;
  std::wstring Text;
  UINT Flags = 0;
};

// Answers a message box instead of the user: returns IDOK, IDYES, IDNO...
using TMessageBoxResponder = std::function<int(const TMessageBoxRecord&)>;
// Runs instead of a modal loop while installed: may change the dialog's controls,
// click its buttons, and returns the modal result.
using TModalResponder = std::function<int(TForm&)>;

class TApplication {
 public:
  TApplication(const TApplication&) = delete;
  TApplication& operator=(const TApplication&) = delete;

  // Joins the calling thread to OLE for the whole run (the catalogue's XML service, the
  // desktop shortcut and the embedded browser controls all need it), creates the
  // application window and registers the common controls. Call once, on the thread
  // that will be the window thread.
  void Initialize(HINSTANCE instance);
  // Leaves OLE again. Call once at the end of the run, after every window and COM
  // object of the window thread is gone.
  void Finalize();
  HINSTANCE Instance() const { return FInstance; }
  HWND Handle() const { return FHandle; }
  bool IsWindowThread() const;

  void SetTitle(std::wstring title);
  const std::wstring& Title() const { return FTitle; }

  // The main form: it is shown by Run(), and its destruction ends the message loop.
  void SetMainForm(TForm* form) { FMainForm = form; }
  TForm* MainForm() const { return FMainForm; }

  // Shows the main form and pumps messages until the main form's window is destroyed
  // or Terminate() is called.
  void Run();
  // Minimises the application window, which hides the forms and leaves the button.
  void Minimize();
  void Terminate();
  bool Terminated() const { return FTerminated; }

  // Dispatches every message waiting in this thread's queue, then returns.
  void ProcessMessages();

  // Runs for every message taken from the queue before it is dispatched (by Run,
  // ProcessMessages and modal loops); returning true marks it handled, and a handled
  // message is not dispatched.
  std::function<bool(const MSG& msg)> OnMessage;
  bool FilterMessage(const MSG& msg);

  // Runs fn on the window thread and waits until it has run. On the window thread it
  // runs at once. An exception thrown by fn is rethrown in the calling thread.
  void Synchronize(const std::function<void()>& fn);
  // Runs fn on the window thread inside Guard, once the messages already waiting and
  // the repaints they cause are through. Callable from any thread; calls still waiting
  // when the application ends never run.
  void Post(std::function<void()> fn);

  // A message box captioned with `caption` (the title when empty), owned by the
  // active window; returns the button pressed. Goes to the responder when one is set.
  int ShowMessageBox(const std::wstring& text, const std::wstring& caption, UINT flags);
  // A notice: the title as caption, the text, one OK button.
  void ShowNotice(const std::wstring& text);
  // The error box: stop icon, the title as caption, the message with "." appended
  // unless its last character is "." or sorts before it.
  void ShowException(const std::exception& error);
  static std::wstring ErrorBoxText(const std::wstring& message);

  // Runs fn and shows anything it throws in the error box. Every event, timer and
  // message handler runs inside this guard.
  void Guard(const std::function<void()>& fn) noexcept;

  void SetMessageBoxResponder(TMessageBoxResponder responder) {
    FMessageBoxResponder = std::move(responder);
  }
  void SetModalResponder(TModalResponder responder) { FModalResponder = std::move(responder); }
  const TModalResponder& ModalResponder() const { return FModalResponder; }

  static TApplication& Get();

 private:
  TApplication() = default;
  static LRESULT CALLBACK HiddenWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void RunPosted();

  HINSTANCE FInstance = nullptr;
  HWND FHandle = nullptr;
  DWORD FThreadId = 0;
  bool FOleJoined = false;
  std::wstring FTitle;
  TForm* FMainForm = nullptr;
  bool FTerminated = false;
  TMessageBoxResponder FMessageBoxResponder;
  TModalResponder FModalResponder;
  std::mutex FPostedLock;
  std::deque<std::function<void()>> FPosted;
};

inline TApplication& Application() {
  return TApplication::Get();
}

// UTF-8 <-> UTF-16 and ANSI code page conversions used across the window layer.
std::wstring Widen(const std::string& utf8);
std::string Narrow(const std::wstring& wide);
std::string ToAnsi(const std::wstring& wide);
std::wstring FromAnsi(const std::string& ansi);

}  // namespace ui
