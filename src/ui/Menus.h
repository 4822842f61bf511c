// Menus built from tables: a menu bar for a form and popup menus (the tray's).
// Each entry has a caption, a component name and an optional click handler; "-" is a
// separator. Command ids are allocated here and routed back through Dispatch().
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace ui {

class TMenuItem {
 public:
  std::wstring Name;     // component name, e.g. "RestoreM"
  std::wstring Caption;  // "-" draws a separator line
  std::function<void()> OnClick;
  std::vector<std::unique_ptr<TMenuItem>> Items;  // sub-entries

  UINT CommandId() const { return FCommandId; }
  bool Checked() const { return FChecked; }
  void SetChecked(bool checked);
  // A disabled entry is greyed, and its command does nothing, also when sent from outside.
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool enabled);
  // Runs OnClick; what it throws reaches the caller (code that runs another command
  // sees that command fail). Dispatch() is the guarded way in for the platform.
  void Click();

 private:
  friend class TMenu;
  UINT FCommandId = 0;
  bool FChecked = false;
  bool FEnabled = true;
  HMENU FParentMenu = nullptr;
};

// Describes one entry of a menu table: depth 0 for top-level, 1 for their children.
struct TMenuEntry {
  int Depth = 0;
  const wchar_t* Name = L"";
  const wchar_t* Caption = L"";
  std::function<void()> OnClick;
  bool Checked = false;
  // 0: the next id in table order. An entry added later takes its own id, so the ids
  // of the entries after it stay what outside senders know.
  UINT CommandId = 0;
};

class TMenu {
 public:
  // Entries get command ids firstCommandId, firstCommandId + 1, ... in table order, so
  // a command can be sent from outside (WM_COMMAND) by its entry's place in the table.
  TMenu(bool popup, UINT firstCommandId);
  ~TMenu();
  TMenu(const TMenu&) = delete;
  TMenu& operator=(const TMenu&) = delete;

  // Builds the entries of a table, in order.
  void Build(const std::vector<TMenuEntry>& table);
  HMENU Handle() const { return FHandle; }
  TMenuItem* Find(const std::wstring& name) const;
  // The top-level entry whose caption marks `key` as its access key ("幫助(&H)" for H or
  // h); nullptr when none does.
  TMenuItem* FindAccessKey(wchar_t key) const;
  // Runs the handler of the entry with this command id inside the application's guard;
  // false when it is not ours.
  bool Dispatch(UINT commandId) const;
  const std::vector<std::unique_ptr<TMenuItem>>& Items() const { return FItems; }

 private:
  void Append(HMENU parent, TMenuItem& item);
  HMENU FHandle = nullptr;
  UINT FNextCommandId;
  std::vector<std::unique_ptr<TMenuItem>> FItems;
};

class TMainMenu : public TMenu {
 public:
  explicit TMainMenu(UINT firstCommandId) : TMenu(false, firstCommandId) {}
};

class TPopupMenu : public TMenu {
 public:
  explicit TPopupMenu(UINT firstCommandId) : TMenu(true, firstCommandId) {}
  // Shows the menu at screen point (x, y) for the owner window, waits until the user
  // picks an entry or dismisses it, and runs the picked entry's handler.
  void Popup(int x, int y, HWND owner);
  // A free integer for the program's own use; 0 unless set.
  int Tag() const { return FTag; }
  void SetTag(int tag) { FTag = tag; }

 private:
  int FTag = 0;
};

}  // namespace ui
