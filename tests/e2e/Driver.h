// Drives the real VornisTools.exe from outside, as a user meets it: each test gets a
// fresh folder with a copy of the executable, starts it under Wine, and operates it
// only through window messages (find windows, click buttons, read texts and list rows,
// answer message boxes), then checks files on disk.
#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace e2e {

using namespace std::chrono_literals;

// A Linux path as Wine sees it (Z: maps to /).
std::wstring WinPath(const std::string& unixPath);

// Waits until `done` is true, pumping this thread's messages; false on time-out.
bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = 15s);

// A fresh folder for one test under the build directory, holding a copy of the
// executable. Its path ends with "\".
class TSandbox {
 public:
  // `name` is usually the test's name; an existing folder of that name is emptied.
  explicit TSandbox(const std::string& name);
  const std::wstring& Dir() const { return FDir; }
  // The same folder as a Linux path, for RunUnix.
  const std::string& UnixDir() const { return FUnixDir; }
  std::wstring Path(const std::wstring& relative) const { return FDir + relative; }
  std::wstring ExePath() const { return FDir + L"VornisTools.exe"; }

  void WriteFile(const std::wstring& relative, const std::string& bytes) const;
  std::string ReadFile(const std::wstring& relative) const;
  bool Exists(const std::wstring& relative) const;
  // A stand-in game client tree: <dir>game\client\bin\VNgame.exe (a copy of a tiny
  // program) and an empty game\client\data\Mods\Addons\. Returns the exe's full path.
  std::wstring MakeGame() const;

 private:
  std::wstring FDir;
  std::string FUnixDir;
};

// The running manager (or any program) started by a test.
class TProcess {
 public:
  TProcess() = default;
  // Starts `exe` with its own folder as the working directory.
  static TProcess Start(const std::wstring& exe);
  ~TProcess();
  TProcess(TProcess&& other) noexcept;
  TProcess& operator=(TProcess&& other) noexcept;

  DWORD Pid() const { return FPid; }
  bool Running() const;
  // Waits for the process to end; false on time-out.
  bool WaitExit(std::chrono::milliseconds timeout);
  DWORD ExitCode() const;
  void Kill();

 private:
  HANDLE FHandle = nullptr;
  DWORD FPid = 0;
};

// Top-level window of process `pid` with this caption (and class, when given); waits
// for it to appear (visible or not). nullptr on time-out.
HWND WaitWindow(DWORD pid, const std::wstring& caption, const std::wstring& className = L"",
                std::chrono::milliseconds timeout = 20s);
HWND FindTopWindow(DWORD pid, const std::wstring& caption, const std::wstring& className = L"");

// The main window "維諾斯獵手TW Ver1.36" and the settings dialog "設置".
HWND WaitMainWindow(DWORD pid, std::chrono::milliseconds timeout = 20s);
// The settings dialog a show of the main window has made (after the window's first
// paint), hidden or not, once the window thread has filled it in.
HWND WaitSettingsDialog(DWORD pid);
// A control of the main window or of the settings dialog by its component name
// ("Label6", "ListView1", "Edit1"...).
HWND MainControl(HWND mainWindow, const std::wstring& name);
HWND SettingsControl(HWND settingsWindow, const std::wstring& name);
// A button of a window (any depth) by caption.
HWND FindButton(HWND top, const std::wstring& caption);

std::wstring Text(HWND window);
void SetText(HWND window, const std::wstring& text);
// Clicks a button the way the button itself reports a click to its parent.
void Click(HWND button);
bool IsChecked(HWND checkBox);
void SetChecked(HWND checkBox, bool checked);
// Asks a window to close as its caption's close box does.
void RequestClose(HWND window);

// One row of a list view of another process.
struct TListRow {
  std::wstring Caption;
  std::vector<std::wstring> SubItems;  // columns 1..n
  bool Checked = false;
};
std::vector<TListRow> ReadList(HWND listView);
std::wstring ColumnCaption(HWND listView, int column);
void SetRowChecked(HWND listView, int row, bool checked);
// Clicks the check box of `row` with the mouse (posted button messages); false when the
// row or its box cannot be found.
bool ClickRowCheckBox(HWND listView, int row);

// A message box of process `pid` captioned `caption`.
struct TMessageBox {
  HWND Window = nullptr;
  std::wstring Text;
};
std::optional<TMessageBox> WaitMessageBox(DWORD pid, std::chrono::milliseconds timeout = 15s,
                                          const std::wstring& caption = L"VornisTools");
// Presses a button of the box (IDOK, IDYES, IDNO...) and waits until the box is gone.
void Answer(const TMessageBox& box, int button = IDOK);

// Full path of the built VornisTools.exe.
std::wstring BuiltExe();

}  // namespace e2e

namespace e2e {
// Runs a Linux command line (through /bin/sh -c) from inside Wine and waits for it;
// returns its exit code. Used for what Windows cannot express here, like chattr.
int RunUnix(const std::string& shellCommand);
}  // namespace e2e
