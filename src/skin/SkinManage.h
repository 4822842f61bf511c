// TSkinManage: the one skin manager of the process. It keeps the skin data components,
// the frames attached to windows and the skinned popup menus, runs deferred commands
// through a window timer, and watches window creation, destruction and activation on
// the window thread through a CBT hook.
//
// It decides which windows and controls are skinned; it draws nothing itself.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

namespace skin {

class TSkinData;
class TSkinForm;
class TSkinControl;
class TSkinPopMenu;

// Private messages between the manager, the frames and the windows.
constexpr UINT kMsgFinishAttach = 0x3503;  // posted to a new frame's window, wParam 0, lParam 1000
constexpr UINT kMsgRepaintFrame = 0x3502;
constexpr UINT kMsgCaptionAction = 0x3514;     // a caption button's own action code
constexpr UINT kMsgButtonVisibility = 0x3515;  // (code, action): > 0 shows the button
constexpr UINT kMsgIsSkinned = 0x3523;         // a skinned window answers 1

// Manager commands.
enum TSkinCommand {
  scSkin = 1,
  scUnskin = 2,
  scRefresh = 3,
  scDropDead = 6,
  scReskinWindow = 7,
};

class TSkinManage {
 public:
  // The manager, or null before the first skin data has loaded.
  static TSkinManage* Instance();
  // Creates the manager when there is none.
  static TSkinManage& Create();
  // Unhooks, frees every frame and popup-menu skin and the manager itself.
  static void Destroy();

  ~TSkinManage();
  TSkinManage(const TSkinManage&) = delete;
  TSkinManage& operator=(const TSkinManage&) = delete;

  void AddSkinData(TSkinData* data);
  void RemoveSkinData(TSkinData* data);
  bool HasSkinData() const { return !FDataList.empty(); }
  // The first sfMainform skin data added.
  TSkinData* MainData() const { return FMainData; }

  // Stores the command and runs it `delayMs` later through the timer. Before the first
  // activation, commands 1 and 2 only set the active flag.
  void SendCommand(int command, UINT delayMs, TSkinData* data = nullptr, HWND window = nullptr);
  int PendingCommand() const { return FCommand; }
  // Runs a command at once (what the timer does).
  void RunCommand(int command, TSkinData* data, HWND window);

  bool Active() const { return FActive; }
  // Whether a command 1 has run or a window has been skinned since creation.
  bool ActivatedOnce() const { return FActivatedOnce; }
  void SetActive(bool active) { FActive = active; }

  // The window-creation hook for the calling thread (installed once).
  void InstallHook();
  void RemoveHook();

  // Skins one top-level window if the rules allow; true when a frame was attached.
  bool SkinWindow(HWND window);
  // Skins the controls under `parent` (recursively) for the frame `frame`.
  void SkinControls(TSkinForm& frame, HWND parent);

  // The frame attached to a window, or null.
  TSkinForm* FindFrame(HWND window) const;
  const std::vector<std::unique_ptr<TSkinForm>>& Frames() const { return FFrames; }
  // Frees a frame whose window is being destroyed; the caller has detached it and must
  // not touch it afterwards.
  void DropFrame(TSkinForm* frame);

  // The menu being opened is the window's system menu (skinned popup menus draw it so).
  void SetSystemMenuOpening(bool systemMenu) { FSystemMenuOpening = systemMenu; }
  bool SystemMenuOpening() const { return FSystemMenuOpening; }

 private:
  TSkinManage();
  static LRESULT CALLBACK HookProc(int code, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK TimerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void OnTimer();
  void OnHook(int code, WPARAM wParam, LPARAM lParam);
  bool MaySkin(HWND window, TSkinData*& data);
  TSkinData* DataFor(HWND window) const;
  void SkinAll(TSkinData* data);
  void UnskinAll(TSkinData* data);
  void DropDeadFrames();

  std::vector<TSkinData*> FDataList;
  TSkinData* FMainData = nullptr;
  std::vector<std::unique_ptr<TSkinForm>> FFrames;
  std::vector<std::unique_ptr<TSkinPopMenu>> FPopMenus;
  HWND FTimerWindow = nullptr;
  HHOOK FHook = nullptr;
  int FCommand = 0;
  TSkinData* FCommandData = nullptr;
  HWND FCommandWindow = nullptr;
  bool FActive = false;
  bool FActivatedOnce = false;
  bool FSkinAllPass = false;
  bool FSystemMenuOpening = false;
};

}  // namespace skin
