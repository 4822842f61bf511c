#include "ui/Menus.h"

#include "ui/Application.h"

namespace ui {

void TMenuItem::SetChecked(bool checked) {
  FChecked = checked;
  if (FParentMenu)
    CheckMenuItem(FParentMenu, FCommandId, MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
}

void TMenuItem::SetEnabled(bool enabled) {
  if (enabled == FEnabled) return;
  FEnabled = enabled;
  if (FParentMenu)
    EnableMenuItem(FParentMenu, FCommandId, MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
}

void TMenuItem::Click() {
  if (OnClick) OnClick();
}

TMenu::TMenu(bool popup, UINT firstCommandId)
    : FHandle(popup ? CreatePopupMenu() : CreateMenu()), FNextCommandId(firstCommandId) {}

TMenu::~TMenu() {
  if (FHandle) DestroyMenu(FHandle);
}

void TMenu::Build(const std::vector<TMenuEntry>& table) {
  // The last item seen at each depth is the parent of the next deeper one.
  std::vector<TMenuItem*> chain;
  for (const TMenuEntry& entry : table) {
    auto item = std::make_unique<TMenuItem>();
    item->Name = entry.Name;
    item->Caption = entry.Caption;
    item->OnClick = entry.OnClick;
    item->FChecked = entry.Checked;
    item->FCommandId = entry.CommandId != 0 ? entry.CommandId : FNextCommandId++;
    TMenuItem* raw = item.get();
    if (entry.Depth == 0 || chain.empty()) {
      FItems.push_back(std::move(item));
      chain.assign(1, raw);
    } else {
      size_t depth = std::min<size_t>(static_cast<size_t>(entry.Depth), chain.size());
      chain.resize(depth);
      chain.back()->Items.push_back(std::move(item));
      chain.push_back(raw);
    }
  }
  for (auto& item : FItems) Append(FHandle, *item);
}

void TMenu::Append(HMENU parent, TMenuItem& item) {
  item.FParentMenu = parent;
  if (item.Caption == L"-") {
    AppendMenuW(parent, MF_SEPARATOR, item.FCommandId, nullptr);
    return;
  }
  if (!item.Items.empty()) {
    HMENU sub = CreatePopupMenu();
    for (auto& child : item.Items) Append(sub, *child);
    AppendMenuW(parent, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(sub),
                item.Caption.c_str());
    return;
  }
  AppendMenuW(parent, MF_STRING | (item.FChecked ? MF_CHECKED : 0), item.FCommandId,
              item.Caption.c_str());
}

namespace {
TMenuItem* FindIn(const std::vector<std::unique_ptr<TMenuItem>>& items,
                  const std::function<bool(const TMenuItem&)>& match) {
  for (const auto& item : items) {
    if (match(*item)) return item.get();
    if (TMenuItem* found = FindIn(item->Items, match)) return found;
  }
  return nullptr;
}
}  // namespace

TMenuItem* TMenu::Find(const std::wstring& name) const {
  return FindIn(FItems, [&](const TMenuItem& item) { return item.Name == name; });
}

TMenuItem* TMenu::FindAccessKey(wchar_t key) const {
  for (const auto& item : FItems) {
    const std::wstring& caption = item->Caption;
    size_t mark = 0;
    while ((mark = caption.find(L'&', mark)) != std::wstring::npos && mark + 1 < caption.size() &&
           caption[mark + 1] == L'&')
      mark += 2;  // "&&" is a plain "&"
    if (mark != std::wstring::npos && mark + 1 < caption.size() &&
        CompareStringOrdinal(&caption[mark + 1], 1, &key, 1, TRUE) == CSTR_EQUAL)
      return item.get();
  }
  return nullptr;
}

bool TMenu::Dispatch(UINT commandId) const {
  TMenuItem* item = FindIn(
      FItems, [&](const TMenuItem& candidate) { return candidate.CommandId() == commandId; });
  if (!item) return false;
  if (!item->Enabled()) return true;
  // Menu commands come from the platform (the menu bar, a popup, the tray): the guard
  // shows what the command threw.
  Application().Guard([item] { item->Click(); });
  return true;
}

void TPopupMenu::Popup(int x, int y, HWND owner) {
  // The owner must be foreground, or the menu would not close when the user clicks
  // elsewhere; the posted WM_NULL lets the owner's queue settle afterwards.
  SetForegroundWindow(owner);
  UINT command = static_cast<UINT>(TrackPopupMenu(
      Handle(), TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, x, y, 0, owner, nullptr));
  PostMessageW(owner, WM_NULL, 0, 0);
  if (command) Dispatch(command);
}

}  // namespace ui
