// TSkinData: the non-visual component that holds one skin package and switches the
// skin on and off. It owns the parsed skin, the caption font and the face-colour
// brush; the process-wide TSkinManage does the work of skinning windows and controls.
//
// It does not draw anything itself, and it never talks to windows directly: every
// change of Active becomes a deferred manager command, so a switch takes effect on the
// window thread's next timer tick.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace ui {
class TForm;
}

namespace skin {

struct TSkin;
struct TSkinControlContext;
class TSkinControl;

enum TSkinControlType {
  xcMainMenu,
  xcPopupMenu,
  xcMenuItem,
  xcToolbar,
  xcControlbar,
  xcCombo,
  xcCheckBox,
  xcRadioButton,
  xcProgress,
  xcScrollbar,
  xcEdit,
  xcButton,
  xcBitBtn,
  xcSpeedButton,
  xcSpin,
  xcPanel,
  xcGroupBox,
  xcStatusBar,
  xcTab,
  xcTrackBar,
  xcSystemMenu,
  xcFastReport,
};

enum TSkinOption {
  xoMDIScrollbar,
  xoMenuMerge,
  xoTransparent,
  xoPreview,
  xoParentBackGround,
  xoNoFocusRect,
  xoToolbarBK,
  xoToolbarButton,
  xoMDIChildBorder,
  xoMenuBG,
  xoCaptionButtonHint,
  xoFormScrollbar,
};

enum TSkinFormType { sfMainform, sfOnlyThisForm, sfDialog, sfDLL };

// A set of enumeration values (at most 32), like a Pascal set.
template <typename E>
class TEnumSet {
 public:
  constexpr TEnumSet() = default;
  constexpr TEnumSet(std::initializer_list<E> values) {
    for (E value : values) Include(value);
  }
  constexpr bool Contains(E value) const { return (FBits >> static_cast<unsigned>(value)) & 1u; }
  constexpr void Include(E value) { FBits |= 1u << static_cast<unsigned>(value); }
  constexpr void Exclude(E value) { FBits &= ~(1u << static_cast<unsigned>(value)); }
  constexpr uint32_t Bits() const { return FBits; }
  constexpr bool operator==(const TEnumSet&) const = default;

 private:
  uint32_t FBits = 0;
};

using TSkinControls = TEnumSet<TSkinControlType>;
using TSkinOptions = TEnumSet<TSkinOption>;

class TSkinData {
 public:
  // `owner` is the form this component is placed on (may be null in tests).
  explicit TSkinData(ui::TForm* owner = nullptr);
  virtual ~TSkinData();
  TSkinData(const TSkinData&) = delete;
  TSkinData& operator=(const TSkinData&) = delete;

  ui::TForm* Owner() const { return FOwner; }

  // Skinning on or off. A change is carried out by the manager 250 ms later; true is
  // ignored (but remembered) while no skin is loaded.
  bool Active() const { return FActive; }
  void SetActive(bool active);

  int DisableTag = 99;
  TSkinControls SkinControls;
  TSkinOptions Options;
  // "ClassName=kind" lines mapping further control classes to a skin kind.
  const std::vector<std::wstring>& Skin3rd() const { return FSkin3rd; }
  void SetSkin3rd(const std::vector<std::wstring>& lines) { FSkin3rd = lines; }

  // Path of a package file read at once (a missing file is ignored).
  const std::wstring& SkinFile() const { return FSkinFile; }
  void SetSkinFile(const std::wstring& path);
  // Read-only displays.
  std::wstring SkinStore() const;
  std::wstring Version() const { return L"2.0"; }

  TSkinFormType SkinFormtype = sfMainform;
  bool MenuUpdate = true;
  bool MenuMerge = false;

  // Veto for each window about to be skinned (its window class name).
  std::function<void(TSkinData& sender, const std::wstring& name, bool& doSkin)> OnFormSkin;
  std::function<void(TSkinData& sender)> OnSkinChanged;
  // May supply the skin of a control the data does not know (left empty otherwise).
  std::function<void(TSkinData& sender, HWND form, HWND control, const std::wstring& controlClass,
                     std::unique_ptr<TSkinControl>& skinnedControl)>
      OnSkinControl;
  std::function<void(TSkinData& sender, HWND window, const std::wstring& name)> OnBeforeSkinForm;
  std::function<void(TSkinData& sender, HWND window, const std::wstring& name)> OnAfterSkinForm;

  // The stored "SkinStream" property: 4-byte little-endian length + package bytes.
  // Reading it loads the package (a length of 0 or less stores nothing); a stream that
  // is shorter than its length stores nothing either.
  void ReadSkinStream(std::span<const uint8_t> stream);
  std::vector<uint8_t> WriteSkinStream() const;

  // Reads a package (the stream's bytes, without the length). False, with no skin
  // loaded, when it is refused or reading it fails in any way (out of memory too): the
  // windows then keep the system look. An unknown format number shows its message box
  // through the application object.
  bool LoadPackage(std::span<const uint8_t> package);

  // After the form definition has been read: hook, caption font, menu rules, caption
  // icon, and the first activation.
  void Loaded();

  // The parsed skin, or null while none is loaded.
  const TSkin* Skin() const { return FSkin.get(); }
  std::shared_ptr<const TSkin> SharedSkin() const { return FSkin; }
  bool SkinLoaded() const { return FSkin != nullptr; }

  // What a skinned control needs to draw.
  TSkinControlContext ControlContext() const;
  HFONT CaptionFont() const { return FCaptionFont; }
  HBRUSH FaceBrush() const { return FFaceBrush; }
  COLORREF FaceColour() const { return FFaceColour; }
  // The application icon at small-icon size on magenta, for system-menu buttons.
  HBITMAP CaptionIcon() const { return FCaptionIcon; }
  // The menu check marks ("SKINMENU"), 16 x 16 images, white transparent.
  HIMAGELIST MenuImages() const { return FMenuImages; }

  // The default class map.
  static const std::vector<std::wstring>& DefaultSkin3rd();

 protected:
  // Reads a package into a skin: ReadSkin. Tests put other failures in its place.
  virtual std::shared_ptr<TSkin> ReadPackage(std::span<const uint8_t> package) const;

 private:
  void ReleaseGdi();
  void CreateCaptionIcon();

  ui::TForm* FOwner;
  bool FActive = false;
  bool FLoaded = false;
  std::vector<std::wstring> FSkin3rd;
  std::wstring FSkinFile;
  std::vector<uint8_t> FPackage;
  std::shared_ptr<const TSkin> FSkin;
  HFONT FCaptionFont = nullptr;
  HBRUSH FFaceBrush = nullptr;
  COLORREF FFaceColour = 0;
  HBITMAP FCaptionIcon = nullptr;
  HIMAGELIST FMenuImages = nullptr;
};

}  // namespace skin
