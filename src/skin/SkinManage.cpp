#include "skin/SkinManage.h"

#include <algorithm>

#include "skin/SkinControls.h"
#include "skin/SkinData.h"
#include "skin/SkinForm.h"
#include "ui/Application.h"
#include "ui/Form.h"

namespace skin {

namespace {

constexpr wchar_t kTimerWindowClass[] = L"VornisSkinManager";
constexpr UINT_PTR kCommandTimer = 1;
// A form whose Tag is this value is never skinned.
constexpr int kFormDisableTag = 99;

TSkinManage* gManager = nullptr;

std::wstring WindowClassName(HWND window) {
  wchar_t name[256] = {};
  GetClassNameW(window, name, 256);
  return name;
}

std::wstring Lower(std::wstring text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(towlower(c));
  return text;
}

bool IsMdiChild(HWND window) {
  return (GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_MDICHILD) != 0;
}

}  // namespace

TSkinManage* TSkinManage::Instance() {
  return gManager;
}

TSkinManage& TSkinManage::Create() {
  if (!gManager) gManager = new TSkinManage();
  return *gManager;
}

void TSkinManage::Destroy() {
  delete gManager;
  gManager = nullptr;
}

TSkinManage::TSkinManage() {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = TimerWindowProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = kTimerWindowClass;
  RegisterClassExW(&wc);
  FTimerWindow = CreateWindowExW(0, kTimerWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                 wc.hInstance, nullptr);
}

TSkinManage::~TSkinManage() {
  RemoveHook();
  if (FTimerWindow) DestroyWindow(FTimerWindow);
  FPopMenus.clear();
  // Frames detach one by one; a detach may send messages that look for the manager.
  while (!FFrames.empty()) {
    std::unique_ptr<TSkinForm> frame = std::move(FFrames.back());
    FFrames.pop_back();
    frame->Detach();
  }
}

void TSkinManage::AddSkinData(TSkinData* data) {
  if (std::find(FDataList.begin(), FDataList.end(), data) != FDataList.end()) return;
  FDataList.push_back(data);
  if (!FMainData && data->SkinFormtype == sfMainform) FMainData = data;
}

void TSkinManage::RemoveSkinData(TSkinData* data) {
  // Frames drawing with this data go first: nothing may keep a pointer to it.
  for (size_t i = FFrames.size(); i-- > 0;) {
    if (&FFrames[i]->Data() != data) continue;
    std::unique_ptr<TSkinForm> frame = std::move(FFrames[i]);
    FFrames.erase(FFrames.begin() + static_cast<std::ptrdiff_t>(i));
    frame->Detach();
  }
  std::erase(FDataList, data);
  if (FCommandData == data) FCommandData = nullptr;
  if (FMainData == data) {
    FMainData = nullptr;
    for (TSkinData* other : FDataList)
      if (other->SkinFormtype == sfMainform) {
        FMainData = other;
        break;
      }
  }
}

void TSkinManage::SendCommand(int command, UINT delayMs, TSkinData* data, HWND window) {
  FCommand = command;
  FCommandData = data;
  FCommandWindow = window;
  if (!FActivatedOnce && (command == scSkin || command == scUnskin)) {
    // The very first activation takes effect through the hook, when a window of the
    // application is activated.
    FActive = command == scSkin;
    FCommand = 0;
    return;
  }
  SetTimer(FTimerWindow, kCommandTimer, delayMs, nullptr);
}

LRESULT CALLBACK TSkinManage::TimerWindowProc(HWND window, UINT message, WPARAM wParam,
                                              LPARAM lParam) {
  if (message == WM_TIMER && wParam == kCommandTimer && gManager) {
    KillTimer(window, kCommandTimer);
    ui::Application().Guard([] { gManager->OnTimer(); });
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

void TSkinManage::OnTimer() {
  int command = FCommand;
  FCommand = 0;
  if (command) RunCommand(command, FCommandData, FCommandWindow);
}

void TSkinManage::RunCommand(int command, TSkinData* data, HWND window) {
  switch (command) {
    case scSkin:
      FActive = true;
      FActivatedOnce = true;
      SkinAll(data);
      break;
    case scUnskin:
      FActive = false;
      UnskinAll(data);
      break;
    case scRefresh:
      for (const auto& frame : FFrames)
        if (!data || &frame->Data() == data) frame->Refresh();
      break;
    case scDropDead:
      DropDeadFrames();
      break;
    case scReskinWindow:
      if (TSkinForm* frame = FindFrame(window)) {
        auto it = std::find_if(FFrames.begin(), FFrames.end(),
                               [&](const auto& owned) { return owned.get() == frame; });
        std::unique_ptr<TSkinForm> owned = std::move(*it);
        FFrames.erase(it);
        owned->Detach();
      }
      SkinWindow(window);
      break;
    default:
      break;
  }
  TSkinData* changed = data ? data : FMainData;
  if (changed && changed->OnSkinChanged) changed->OnSkinChanged(*changed);
}

void TSkinManage::SkinAll(TSkinData* data) {
  DropDeadFrames();
  if (data && data->SkinFormtype == sfOnlyThisForm) {
    if (data->Owner()) SkinWindow(data->Owner()->Handle());
    return;
  }
  // Every visible top-level form of the application, from last to first.
  std::vector<HWND> windows;
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND window, LPARAM param) -> BOOL {
        reinterpret_cast<std::vector<HWND>*>(param)->push_back(window);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&windows));
  FSkinAllPass = true;
  for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
    HWND window = *it;
    if (!IsWindow(window) || !IsWindowVisible(window)) continue;
    if (GetWindowLongW(window, GWL_STYLE) & WS_CHILD) continue;
    if (!ui::TForm::FromHandle(window)) continue;
    SkinWindow(window);
  }
  FSkinAllPass = false;
}

void TSkinManage::UnskinAll(TSkinData* data) {
  bool onlyThis = data && data->SkinFormtype == sfOnlyThisForm;
  for (size_t i = FFrames.size(); i-- > 0;) {
    if (onlyThis && &FFrames[i]->Data() != data) continue;
    std::unique_ptr<TSkinForm> frame = std::move(FFrames[i]);
    FFrames.erase(FFrames.begin() + static_cast<std::ptrdiff_t>(i));
    frame->Detach();
  }
}

void TSkinManage::DropDeadFrames() {
  std::erase_if(FFrames, [](const auto& frame) { return !IsWindow(frame->Handle()); });
}

TSkinForm* TSkinManage::FindFrame(HWND window) const {
  for (const auto& frame : FFrames)
    if (frame->Handle() == window) return frame.get();
  return nullptr;
}

void TSkinManage::DropFrame(TSkinForm* frame) {
  auto it = std::find_if(FFrames.begin(), FFrames.end(),
                         [&](const auto& owned) { return owned.get() == frame; });
  if (it == FFrames.end()) return;
  // The caller has detached it and touches it no more.
  std::unique_ptr<TSkinForm> owned = std::move(*it);
  FFrames.erase(it);
}

TSkinData* TSkinManage::DataFor(HWND window) const {
  ui::TForm* form = ui::TForm::FromHandle(window);
  for (TSkinData* data : FDataList)
    if (form && data->Owner() == form && data->SkinFormtype != sfDialog) return data;
  std::wstring name = WindowClassName(window);
  if (name == L"#32770" || name == L"TMessageForm")
    for (TSkinData* data : FDataList)
      if (data->SkinFormtype == sfDialog) return data;
  return FMainData;
}

bool TSkinManage::MaySkin(HWND window, TSkinData*& data) {
  if (!FActive || !IsWindow(window)) return false;
  if (FindFrame(window)) return false;
  if (SendMessageW(window, kMsgIsSkinned, 0, 0) == 1) return false;
  LONG style = GetWindowLongW(window, GWL_STYLE);
  bool mdiChild = IsMdiChild(window);
  if ((style & WS_CHILD) && !mdiChild && !FSkinAllPass) return false;

  std::wstring name = WindowClassName(window);
  ui::TForm* form = ui::TForm::FromHandle(window);
  bool ourModule = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(window, GWLP_HINSTANCE)) ==
                   GetModuleHandleW(nullptr);
  bool dialog = name == L"#32770";
  if (!form && !ourModule && !dialog) return false;

  RECT bounds{};
  GetWindowRect(window, &bounds);
  if ((bounds.right <= bounds.left || bounds.bottom <= bounds.top) && !mdiChild) return false;
  if (form && form->Tag() == kFormDisableTag) return false;
  std::wstring formClass = form ? form->ClassName() : L"";
  for (const std::wstring& candidate : {name, formClass}) {
    if (candidate.find(L"TcxPopupEditPopupWindow") != std::wstring::npos ||
        candidate.find(L"TTERenderWindow") != std::wstring::npos || candidate == L"TApplication")
      return false;
    if (Lower(candidate) == L"tpopupdbtreeview") return false;
  }

  data = DataFor(window);
  if (!data || !data->SkinLoaded()) return false;
  if (!data->Options.Contains(xoPreview) && Lower(name).find(L"preview") != std::wstring::npos)
    return false;
  if (dialog && (style & 0x200)) return false;
  bool doSkin = true;
  if (data->OnFormSkin) {
    data->OnFormSkin(*data, name, doSkin);
  } else {
    if (name == L"SysMonthCal32") doSkin = false;
    if (data->SkinControls.Contains(xcFastReport) && name.rfind(L"Tfr", 0) == 0) doSkin = false;
  }
  return doSkin;
}

bool TSkinManage::SkinWindow(HWND window) {
  TSkinData* data = nullptr;
  if (!MaySkin(window, data)) return false;
  FActivatedOnce = true;
  auto frame = std::make_unique<TSkinForm>(window, *data, ui::TForm::FromHandle(window));
  TSkinForm* raw = frame.get();
  FFrames.push_back(std::move(frame));
  raw->Attach();
  PostMessageW(window, kMsgFinishAttach, 0, 1000);
  return true;
}

void TSkinManage::InstallHook() {
  if (FHook) return;
  FHook = SetWindowsHookExW(WH_CBT, HookProc, nullptr, GetCurrentThreadId());
}

void TSkinManage::RemoveHook() {
  if (FHook) UnhookWindowsHookEx(FHook);
  FHook = nullptr;
}

LRESULT CALLBACK TSkinManage::HookProc(int code, WPARAM wParam, LPARAM lParam) {
  if (gManager && code >= 0) {
    TSkinManage* manager = gManager;
    ui::Application().Guard([&] { manager->OnHook(code, wParam, lParam); });
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

void TSkinManage::OnHook(int code, WPARAM wParam, LPARAM lParam) {
  HWND window = reinterpret_cast<HWND>(wParam);
  switch (code) {
    case HCBT_CREATEWND: {
      if (!FActive || !FMainData || !FMainData->SkinLoaded()) return;
      const CREATESTRUCTW* create = reinterpret_cast<CBT_CREATEWNDW*>(lParam)->lpcs;
      std::wstring name = WindowClassName(window);
      if (name == L"#32768" && !(create->style & WS_CHILD)) {
        if (!FMainData->SkinControls.Contains(xcPopupMenu)) return;
        if (auto menu = CreateSkinPopMenu(window, FMainData->ControlContext()))
          FPopMenus.push_back(std::move(menu));
        return;
      }
      if (name == L"ScrollBar" && (create->style & SBS_SIZEGRIP)) {
        if (TSkinForm* frame = FindFrame(create->hwndParent))
          frame->AddControl(CreateSkinControl(L"scrollbar", window, FMainData->ControlContext()));
        return;
      }
      if (create->dwExStyle & WS_EX_MDICHILD) SkinWindow(window);
      return;
    }
    case HCBT_DESTROYWND:
      std::erase_if(FPopMenus, [&](const auto& menu) { return menu->Handle() == window; });
      return;
    case HCBT_ACTIVATE:
      SkinWindow(window);
      return;
    default:
      return;
  }
}

}  // namespace skin
