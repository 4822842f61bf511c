#include "selfupdate/SelfReplace.h"

#include <windows.h>

#include "base/Exception.h"
#include "ui/CodePage.h"

namespace selfupdate {

namespace {

std::wstring FolderOf(const std::wstring& path) {
  return path.substr(0, path.find_last_of(L"\\/:") + 1);
}

std::wstring NameOf(const std::wstring& path) {
  return path.substr(path.find_last_of(L"\\/:") + 1);
}

// A file of the batch's own folder, relative to its current directory. Names made only
// of letters, digits, ".", "_" and "-" stay bare (the usual ".\VornisTools.old").
std::wstring RelativeName(const std::wstring& name) {
  for (wchar_t c : name) {
    bool plain = (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') ||
                 c == L'.' || c == L'_' || c == L'-';
    if (!plain) return QuoteForBatch(L".\\" + name);
  }
  return L".\\" + name;
}

// Undoes the move of the running executable: whatever now lies at the exe path (a copy
// of the new one) goes, and the running file moves back.
void MoveBack(const std::wstring& exePath, const std::wstring& oldPath) {
  DeleteFileW(exePath.c_str());
  MoveFileW(oldPath.c_str(), exePath.c_str());
}

void WriteWholeFile(const std::wstring& path, const std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) throw Exception("cannot create the batch file");
  DWORD written = 0;
  bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
            written == bytes.size();
  ok = CloseHandle(file) && ok;
  if (!ok) {
    DeleteFileW(path.c_str());
    throw Exception("cannot write the batch file");
  }
}

void StartHidden(const std::wstring& folder, const std::wstring& batchName) {
  wchar_t system[MAX_PATH] = {};
  UINT length = GetSystemDirectoryW(system, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) throw Exception("no system directory");
  std::wstring interpreter = std::wstring(system) + L"\\cmd.exe";
  // No AutoRun commands and no delayed expansion, whatever the registry says: "!" in a
  // path must stay literal.
  std::wstring commandLine = L"\"" + interpreter + L"\" /d /v:off /c " + RelativeName(batchName);
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION info{};
  if (!CreateProcessW(interpreter.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                      CREATE_NO_WINDOW, nullptr, folder.c_str(), &startup, &info))
    throw Exception("cannot start the batch file");
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
}

}  // namespace

std::wstring NewExePath(const std::wstring& exePath) {
  return FolderOf(exePath) + L"VornisTools2.exe";
}

std::wstring OldExePath(const std::wstring& exePath) {
  size_t name = exePath.find_last_of(L"\\/:") + 1;
  size_t dot = exePath.find_last_of(L'.');
  if (dot == std::wstring::npos || dot < name) return exePath + L".old";
  return exePath.substr(0, dot) + L".old";
}

std::wstring BatchPath(const std::wstring& exePath) {
  return FolderOf(exePath) + L"delme.bat";
}

std::wstring QuoteForBatch(const std::wstring& path) {
  std::wstring quoted = L"\"";
  for (wchar_t c : path) {
    if (c == L'%') quoted += L'%';
    quoted += c;
  }
  return quoted + L"\"";
}

std::wstring DelmeBatchText(const std::wstring& exePath, int waitSeconds) {
  std::wstring exeName = NameOf(exePath);
  std::wstring newName = RelativeName(NameOf(NewExePath(exePath)));
  std::wstring oldName = RelativeName(NameOf(OldExePath(exePath)));
  // "/f": the left-overs are deleted also when read-only (the executable was), where a
  // plain "del" refuses for ever.
  const std::wstring lines[] = {
      L"@echo off",
      // A try a second, "waitSeconds" times at most: a left-over that stays (an old
      // process that never ends, a file nobody may delete) ends the wait, and the
      // executable in place starts all the same; the next start cleans up.
      L"set tries=0",
      L":loop",
      L"if %tries% gtr 0 ping -n 2 127.0.0.1 >nul",
      L"set /a tries+=1",
      L"if %tries% gtr " + std::to_wstring(waitSeconds) + L" goto start",
      L"del /f " + newName,
      L"if exist " + newName + L" goto loop",
      L"del /f " + oldName,
      L"if exist " + oldName + L" goto loop",
      L":start",
      // Started without waiting for it: the batch is gone before the new copy can swap
      // itself again and write a delme.bat of its own, which this one would delete.
      L"start \"\" " + RelativeName(exeName),
      L"del .\\delme.bat",
  };
  std::wstring text;
  for (const std::wstring& line : lines) text += line + L"\r\n";
  return text;
}

std::string ToBatchCodePage(const std::wstring& text) {
  std::optional<std::string> bytes = ui::ToCodePage(CP_OEMCP, text);
  if (!bytes) throw Exception("the text has no form in the OEM code page");
  return *bytes;
}

std::wstring SwapRefusal(const std::wstring& exePath) {
  if (exePath.rfind(L"\\\\", 0) == 0 || exePath.rfind(L"//", 0) == 0)
    return L"程式位於網路路徑上,無法自動更新。請將 VornisTools 複製到本機磁碟後再開啟。";
  try {
    ToBatchCodePage(DelmeBatchText(exePath));
  } catch (const Exception&) {
    return L"程式檔名含有無法處理的字元,無法自動更新。請將檔名改為 VornisTools.exe 後再開啟。";
  }
  return {};
}

void ReplaceExecutable(const std::wstring& exePath, const TCopyCheck& checkCopy) {
  // Everything that can fail without touching a file is done first.
  if (!SwapRefusal(exePath).empty()) throw Exception("the batch cannot swap this executable");
  std::string batch = ToBatchCodePage(DelmeBatchText(exePath));
  std::wstring newPath = NewExePath(exePath);
  std::wstring oldPath = OldExePath(exePath);
  std::wstring batchPath = BatchPath(exePath);

  DeleteFileW(oldPath.c_str());  // left by an earlier swap that was never cleaned up
  if (!MoveFileW(exePath.c_str(), oldPath.c_str()))
    throw Exception("cannot move the running executable aside");
  if (!CopyFileW(newPath.c_str(), exePath.c_str(), TRUE)) {
    MoveFileW(oldPath.c_str(), exePath.c_str());
    throw Exception("cannot copy the new executable into place");
  }
  // What the batch will start is what was checked: the copy stays open, readable only,
  // until this process ends.
  HANDLE copy = CreateFileW(exePath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (copy == INVALID_HANDLE_VALUE || (checkCopy && !checkCopy(copy))) {
    if (copy != INVALID_HANDLE_VALUE) CloseHandle(copy);
    MoveBack(exePath, oldPath);
    throw ESwapRefused("the executable put in place is not the one that was checked");
  }
  try {
    WriteWholeFile(batchPath, batch);
    try {
      StartHidden(FolderOf(exePath), NameOf(batchPath));
    } catch (...) {
      DeleteFileW(batchPath.c_str());
      throw;
    }
  } catch (...) {
    CloseHandle(copy);
    MoveBack(exePath, oldPath);
    throw;
  }
  // Deliberately left open: the process ends soon, and the handle with it.
}

}  // namespace selfupdate
