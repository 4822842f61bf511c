#include "Driver.h"

#include <commctrl.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#include "app/Form1.h"
#include "config/Form2.h"
#include "ui/Application.h"

namespace e2e {

namespace {

constexpr wchar_t kMainCaption[] = L"維諾斯獵手TW Ver1.36";
constexpr wchar_t kSettingsCaption[] = L"設置";

void RemoveTree(const std::wstring& dir) {
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW((dir + L"*").c_str(), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      std::wstring name = data.cFileName;
      if (name == L"." || name == L"..") continue;
      std::wstring path = dir + name;
      SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(path + L"\\");
        RemoveDirectoryW(path.c_str());
      } else {
        DeleteFileW(path.c_str());
      }
    } while (FindNextFileW(find, &data));
    FindClose(find);
  }
}

void MakeDirs(const std::wstring& path) {
  for (size_t i = 3; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == L'\\') CreateDirectoryW(path.substr(0, i).c_str(), nullptr);
  }
}

HWND FindDescendant(HWND parent, const std::function<bool(HWND)>& match) {
  struct TSearch {
    const std::function<bool(HWND)>* Match;
    HWND Found;
  } search{&match, nullptr};
  EnumChildWindows(
      parent,
      [](HWND window, LPARAM param) -> BOOL {
        auto* s = reinterpret_cast<TSearch*>(param);
        if ((*s->Match)(window)) {
          s->Found = window;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.Found;
}

std::wstring ClassOf(HWND window) {
  wchar_t name[256] = {};
  GetClassNameW(window, name, 256);
  return name;
}

HWND ControlByName(HWND top, const std::vector<ui::TControlDesc>& layout,
                   const std::wstring& name) {
  for (size_t i = 0; i < layout.size(); ++i) {
    if (name != layout[i].Name) continue;
    int id = ui::ControlId(i);
    return FindDescendant(top, [id](HWND w) { return GetDlgCtrlID(w) == id; });
  }
  return nullptr;
}

// Memory in another process for list view messages that carry pointers.
class TRemoteBuffer {
 public:
  TRemoteBuffer(HWND window, size_t size) : FSize(size) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    FProcess = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    if (!FProcess) throw std::runtime_error("cannot open the manager's process");
    FAddress = VirtualAllocEx(FProcess, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  }
  ~TRemoteBuffer() {
    VirtualFreeEx(FProcess, FAddress, 0, MEM_RELEASE);
    CloseHandle(FProcess);
  }
  void* Address() const { return FAddress; }
  void Write(const void* data, size_t size, size_t offset = 0) {
    WriteProcessMemory(FProcess, static_cast<char*>(FAddress) + offset, data, size, nullptr);
  }
  void Read(void* data, size_t size, size_t offset = 0) const {
    ReadProcessMemory(FProcess, static_cast<char*>(FAddress) + offset, data, size, nullptr);
  }

 private:
  HANDLE FProcess = nullptr;
  void* FAddress = nullptr;
  size_t FSize;
};

std::wstring RemoteItemText(HWND list, int row, int column) {
  constexpr size_t kChars = 2048;
  TRemoteBuffer remote(list, sizeof(LVITEMW) + kChars * sizeof(wchar_t));
  LVITEMW item{};
  item.iSubItem = column;
  item.cchTextMax = kChars;
  item.pszText = reinterpret_cast<wchar_t*>(static_cast<char*>(remote.Address()) + sizeof(LVITEMW));
  remote.Write(&item, sizeof(item));
  SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(remote.Address()));
  std::wstring text(kChars, L'\0');
  remote.Read(text.data(), kChars * sizeof(wchar_t), sizeof(LVITEMW));
  text.resize(wcsnlen(text.c_str(), kChars));
  return text;
}

}  // namespace

std::wstring WinPath(const std::string& unixPath) {
  std::wstring path = L"Z:" + ui::Widen(unixPath);
  for (wchar_t& c : path)
    if (c == L'/') c = L'\\';
  return path;
}

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  auto end = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (done()) return true;
    if (std::chrono::steady_clock::now() >= end) return false;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    Sleep(50);
  }
}

std::wstring BuiltExe() {
  return WinPath(VORNIS_EXE_PATH);
}

TSandbox::TSandbox(const std::string& name) {
  FUnixDir = std::string(VORNIS_BINARY_DIR) + "/e2e-work/" + name + "/";
  FDir = WinPath(FUnixDir);
  MakeDirs(FDir.substr(0, FDir.size() - 1));
  RemoveTree(FDir);
  if (!CopyFileW(BuiltExe().c_str(), ExePath().c_str(), FALSE))
    throw std::runtime_error("cannot copy VornisTools.exe into the sandbox");
}

void TSandbox::WriteFile(const std::wstring& relative, const std::string& bytes) const {
  std::wstring path = Path(relative);
  MakeDirs(path.substr(0, path.find_last_of(L'\\')));
  std::ofstream out(std::filesystem::path(path), std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string TSandbox::ReadFile(const std::wstring& relative) const {
  std::ifstream in(std::filesystem::path(Path(relative)), std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

bool TSandbox::Exists(const std::wstring& relative) const {
  return GetFileAttributesW(Path(relative).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::wstring TSandbox::MakeGame() const {
  std::wstring bin = Path(L"game\\client\\bin");
  MakeDirs(bin);
  MakeDirs(Path(L"game\\client\\data\\Mods\\Addons"));
  std::wstring exe = bin + L"\\VNgame.exe";
  CopyFileW(WinPath(VORNIS_FAKE_GAME_PATH).c_str(), exe.c_str(), FALSE);
  return exe;
}

TProcess TProcess::Start(const std::wstring& exe) {
  std::wstring dir = exe.substr(0, exe.find_last_of(L'\\') + 1);
  std::wstring commandLine = L"\"" + exe + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info{};
  if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      dir.c_str(), &startup, &info))
    throw std::runtime_error("cannot start the program");
  CloseHandle(info.hThread);
  TProcess process;
  process.FHandle = info.hProcess;
  process.FPid = info.dwProcessId;
  return process;
}

TProcess::~TProcess() {
  Kill();
  if (FHandle) CloseHandle(FHandle);
}

TProcess::TProcess(TProcess&& other) noexcept : FHandle(other.FHandle), FPid(other.FPid) {
  other.FHandle = nullptr;
  other.FPid = 0;
}

TProcess& TProcess::operator=(TProcess&& other) noexcept {
  if (this != &other) {
    Kill();
    if (FHandle) CloseHandle(FHandle);
    FHandle = other.FHandle;
    FPid = other.FPid;
    other.FHandle = nullptr;
    other.FPid = 0;
  }
  return *this;
}

bool TProcess::Running() const {
  return FHandle && WaitForSingleObject(FHandle, 0) == WAIT_TIMEOUT;
}

bool TProcess::WaitExit(std::chrono::milliseconds timeout) {
  return FHandle &&
         WaitForSingleObject(FHandle, static_cast<DWORD>(timeout.count())) == WAIT_OBJECT_0;
}

DWORD TProcess::ExitCode() const {
  DWORD code = 0;
  GetExitCodeProcess(FHandle, &code);
  return code;
}

void TProcess::Kill() {
  if (Running()) {
    TerminateProcess(FHandle, 1);
    WaitForSingleObject(FHandle, 5000);
  }
}

HWND FindTopWindow(DWORD pid, const std::wstring& caption, const std::wstring& className) {
  struct TSearch {
    DWORD Pid;
    const std::wstring* Caption;
    const std::wstring* Class;
    HWND Found;
  } search{pid, &caption, &className, nullptr};
  EnumWindows(
      [](HWND window, LPARAM param) -> BOOL {
        auto* s = reinterpret_cast<TSearch*>(param);
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner != s->Pid) return TRUE;
        if (Text(window) != *s->Caption) return TRUE;
        if (!s->Class->empty() && ClassOf(window) != *s->Class) return TRUE;
        s->Found = window;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.Found;
}

HWND WaitWindow(DWORD pid, const std::wstring& caption, const std::wstring& className,
                std::chrono::milliseconds timeout) {
  HWND found = nullptr;
  WaitUntil([&] { return (found = FindTopWindow(pid, caption, className)) != nullptr; }, timeout);
  return found;
}

HWND WaitMainWindow(DWORD pid, std::chrono::milliseconds timeout) {
  HWND window = nullptr;
  WaitUntil(
      [&] {
        window = FindTopWindow(pid, kMainCaption, L"VornisForm");
        return window && IsWindowVisible(window);
      },
      timeout);
  return window;
}

HWND WaitSettingsDialog(DWORD pid) {
  HWND settings = WaitWindow(pid, L"設置", L"VornisForm");
  // The dialog is made and filled in one step of the window thread, which answers a
  // sent message only between steps.
  DWORD_PTR ignored = 0;
  if (settings) SendMessageTimeoutW(settings, WM_NULL, 0, 0, SMTO_NORMAL, 20000, &ignored);
  return settings;
}

HWND MainControl(HWND mainWindow, const std::wstring& name) {
  return ControlByName(mainWindow, app::TForm1::Layout(), name);
}

HWND SettingsControl(HWND settingsWindow, const std::wstring& name) {
  return ControlByName(settingsWindow, config::TForm2::Layout(), name);
}

HWND FindButton(HWND top, const std::wstring& caption) {
  return FindDescendant(top, [&](HWND w) { return ClassOf(w) == L"Button" && Text(w) == caption; });
}

std::wstring Text(HWND window) {
  wchar_t buffer[4096] = {};
  SendMessageTimeoutW(window, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG,
                      5000, nullptr);
  return buffer;
}

void SetText(HWND window, const std::wstring& text) {
  SendMessageW(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void Click(HWND button) {
  PostMessageW(GetParent(button), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button), BN_CLICKED),
               reinterpret_cast<LPARAM>(button));
}

bool IsChecked(HWND checkBox) {
  return SendMessageW(checkBox, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void SetChecked(HWND checkBox, bool checked) {
  SendMessageW(checkBox, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

void RequestClose(HWND window) {
  PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
}

std::vector<TListRow> ReadList(HWND listView) {
  std::vector<TListRow> rows;
  int count = static_cast<int>(SendMessageW(listView, LVM_GETITEMCOUNT, 0, 0));
  HWND header = reinterpret_cast<HWND>(SendMessageW(listView, LVM_GETHEADER, 0, 0));
  int columns = header ? static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0)) : 1;
  for (int i = 0; i < count; ++i) {
    TListRow row;
    row.Caption = RemoteItemText(listView, i, 0);
    for (int c = 1; c < columns; ++c) row.SubItems.push_back(RemoteItemText(listView, i, c));
    UINT state =
        static_cast<UINT>(SendMessageW(listView, LVM_GETITEMSTATE, i, LVIS_STATEIMAGEMASK));
    row.Checked = ((state & LVIS_STATEIMAGEMASK) >> 12) == 2;
    rows.push_back(std::move(row));
  }
  return rows;
}

bool ClickRowCheckBox(HWND listView, int row) {
  TRemoteBuffer remote(listView, sizeof(LVHITTESTINFO) + sizeof(RECT));
  RECT bounds{LVIR_BOUNDS, 0, 0, 0};
  remote.Write(&bounds, sizeof(bounds));
  if (!SendMessageW(listView, LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(remote.Address())))
    return false;
  remote.Read(&bounds, sizeof(bounds));
  int y = (bounds.top + bounds.bottom) / 2;
  for (int x = bounds.left; x < bounds.left + 40; ++x) {
    LVHITTESTINFO hit{{x, y}, 0, -1, 0, 0};
    remote.Write(&hit, sizeof(hit));
    SendMessageW(listView, LVM_SUBITEMHITTEST, 0, reinterpret_cast<LPARAM>(remote.Address()));
    remote.Read(&hit, sizeof(hit));
    if (hit.iItem == row && (hit.flags & LVHT_ONITEMSTATEICON)) {
      PostMessageW(listView, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
      PostMessageW(listView, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
      return true;
    }
  }
  return false;
}

std::wstring ColumnCaption(HWND listView, int column) {
  constexpr size_t kChars = 256;
  TRemoteBuffer remote(listView, sizeof(LVCOLUMNW) + kChars * sizeof(wchar_t));
  LVCOLUMNW info{};
  info.mask = LVCF_TEXT;
  info.cchTextMax = kChars;
  info.pszText =
      reinterpret_cast<wchar_t*>(static_cast<char*>(remote.Address()) + sizeof(LVCOLUMNW));
  remote.Write(&info, sizeof(info));
  SendMessageW(listView, LVM_GETCOLUMNW, column, reinterpret_cast<LPARAM>(remote.Address()));
  std::wstring text(kChars, L'\0');
  remote.Read(text.data(), kChars * sizeof(wchar_t), sizeof(LVCOLUMNW));
  text.resize(wcsnlen(text.c_str(), kChars));
  return text;
}

void SetRowChecked(HWND listView, int row, bool checked) {
  TRemoteBuffer remote(listView, sizeof(LVITEMW));
  LVITEMW item{};
  item.stateMask = LVIS_STATEIMAGEMASK;
  item.state = INDEXTOSTATEIMAGEMASK(checked ? 2 : 1);
  remote.Write(&item, sizeof(item));
  SendMessageW(listView, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(remote.Address()));
}

std::optional<TMessageBox> WaitMessageBox(DWORD pid, std::chrono::milliseconds timeout,
                                          const std::wstring& caption) {
  HWND box = WaitWindow(pid, caption, L"#32770", timeout);
  if (!box) return std::nullopt;
  // The text of a message box is the static control with id 0xFFFF.
  HWND text = GetDlgItem(box, 0xFFFF);
  TMessageBox result{box, text ? Text(text) : L""};
  return result;
}

void Answer(const TMessageBox& box, int button) {
  HWND control = GetDlgItem(box.Window, button);
  PostMessageW(box.Window, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
               reinterpret_cast<LPARAM>(control));
  // Gone before the caller looks for the next box, which would otherwise find this one.
  WaitUntil([&] { return !IsWindow(box.Window) || !IsWindowVisible(box.Window); }, 10s);
}

}  // namespace e2e

namespace e2e {

int RunUnix(const std::string& shellCommand) {
  // Wine starts a Linux program but cannot wait for it: the command writes its exit code
  // to a file when it is done, and we wait for that file. Its name is unique on the
  // machine: Wine process ids repeat from prefix to prefix, so test runs of other build
  // trees would otherwise end each other's waits before the command has run.
  static int counter = 0;
  static const unsigned long long nonce =
      std::random_device()() * 0x100000000ull + GetTickCount64();
  std::string done = "/tmp/vornis-rununix-" + std::to_string(nonce) + "-" +
                     std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++counter) +
                     ".done";
  std::wstring donePath = WinPath(done);
  DeleteFileW(donePath.c_str());
  std::string script =
      "(" + shellCommand + "); echo $? > " + done + ".tmp && mv " + done + ".tmp " + done;
  std::wstring escaped;
  for (wchar_t c : ui::Widen(script)) {
    if (c == L'"' || c == L'\\') escaped += L'\\';
    escaped += c;
  }
  std::wstring commandLine = L"/bin/sh -c \"" + escaped + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info{};
  if (!CreateProcessW(L"Z:\\bin\\sh", commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      nullptr, &startup, &info))
    return -1;
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  if (!WaitUntil([&] { return GetFileAttributesW(donePath.c_str()) != INVALID_FILE_ATTRIBUTES; },
                 60s))
    return -1;
  std::ifstream in{std::filesystem::path(donePath)};
  int code = -1;
  in >> code;
  in.close();
  DeleteFileW(donePath.c_str());
  return code;
}

}  // namespace e2e
