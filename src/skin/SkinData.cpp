#include "skin/SkinData.h"

#include <commctrl.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "skin/SkinClassMap.h"
#include "skin/SkinControls.h"
#include "skin/SkinForm.h"
#include "skin/SkinManage.h"
#include "skin/SkinModel.h"
#include "skin/SkinPaint.h"
#include "skin/SkinRead.h"
#include "skin/SkinWriter.h"
#include "ui/Application.h"
#include "ui/Form.h"

namespace skin {

const std::vector<std::wstring>& TSkinData::DefaultSkin3rd() {
  return DefaultClassMap();
}

TSkinData::TSkinData(ui::TForm* owner) : FOwner(owner), FSkin3rd(DefaultSkin3rd()) {
  for (int kind = xcMainMenu; kind <= xcFastReport; ++kind)
    SkinControls.Include(static_cast<TSkinControlType>(kind));
  SkinControls.Exclude(xcMenuItem);
  SkinControls.Exclude(xcFastReport);
  Options = {xoPreview, xoToolbarBK, xoCaptionButtonHint};
}

TSkinData::~TSkinData() {
  if (TSkinManage* manager = TSkinManage::Instance()) {
    manager->RemoveSkinData(this);
    // The manager serves the skin data: the last one to go (the main form's, at exit)
    // takes it along, with its hook, its timer window and the popup-menu skins.
    if (!manager->HasSkinData()) TSkinManage::Destroy();
  }
  ReleaseGdi();
}

void TSkinData::ReleaseGdi() {
  if (FCaptionFont) DeleteObject(FCaptionFont);
  if (FFaceBrush) DeleteObject(FFaceBrush);
  if (FCaptionIcon) DeleteObject(FCaptionIcon);
  if (FMenuImages) ImageList_Destroy(FMenuImages);
  FCaptionFont = nullptr;
  FFaceBrush = nullptr;
  FCaptionIcon = nullptr;
  FMenuImages = nullptr;
}

void TSkinData::SetActive(bool active) {
  if (active == FActive) return;
  FActive = active;
  TSkinManage* manager = TSkinManage::Instance();
  if (!FLoaded || !manager) return;
  switch (SkinFormtype) {
    case sfMainform:
    case sfOnlyThisForm:
      if (active && !SkinLoaded()) return;
      manager->SendCommand(active ? scSkin : scUnskin, 250,
                           SkinFormtype == sfOnlyThisForm ? this : nullptr);
      break;
    case sfDialog:
    case sfDLL:
      break;
  }
}

void TSkinData::SetSkinFile(const std::wstring& path) {
  FSkinFile = path;
  FSkin.reset();
  if (!FLoaded) return;
  std::ifstream file(std::filesystem::path(path), std::ios::binary);
  if (!file) return;
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)),
                             std::istreambuf_iterator<char>());
  LoadPackage(bytes);
  TSkinManage* manager = TSkinManage::Instance();
  if (!manager) return;
  for (const auto& frame : manager->Frames())
    if (&frame->Data() == this) frame->Refresh();
  if (manager->ActivatedOnce()) manager->SendCommand(scRefresh, 250, this);
}

std::wstring TSkinData::SkinStore() const {
  return FPackage.empty() ? L"(none)" : L"(Good)";
}

void TSkinData::ReadSkinStream(std::span<const uint8_t> stream) {
  FPackage.clear();
  FSkin.reset();
  const std::span<const uint8_t> package = SkinStreamPackage(stream);
  if (!package.empty()) LoadPackage(package);
}

std::vector<uint8_t> TSkinData::WriteSkinStream() const {
  return SkinStreamOf(FPackage);
}

std::shared_ptr<TSkin> TSkinData::ReadPackage(std::span<const uint8_t> package) const {
  return std::make_shared<TSkin>(ReadSkin(package));
}

bool TSkinData::LoadPackage(std::span<const uint8_t> package) {
  FSkin.reset();
  FPackage.clear();
  try {
    FPackage.assign(package.begin(), package.end());
    std::shared_ptr<TSkin> skin = ReadPackage(package);
    const TSkinColour skinFace = SkinFaceColour(*skin);
    const COLORREF face = skinFace.Set ? ToColorRef(skinFace.Rgb()) : GetSysColor(COLOR_BTNFACE);
    if (FFaceBrush) DeleteObject(FFaceBrush);
    FFaceColour = face;
    FFaceBrush = CreateSolidBrush(face);
    FSkin = std::move(skin);
    return true;
  } catch (const ESkinOldFormat& error) {
    ui::Application().ShowMessageBox(ui::Widen(error.Message()), L"", MB_OK);
  } catch (...) {
    // A damaged package, or one whose reading failed otherwise (out of memory): the
    // skin stays off and the windows keep the system look. The program goes on.
  }
  return false;
}

void TSkinData::Loaded() {
  if (FLoaded) return;
  FLoaded = true;
  if (!GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetScrollBarInfo"))
    SkinControls.Exclude(xcScrollbar);

  TSkinManage& manager = TSkinManage::Create();
  manager.AddSkinData(this);

  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof(metrics);
  if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0)) {
    LOGFONTW font = metrics.lfCaptionFont;
    if (FSkin && FSkin->FontHeight > 0) font.lfHeight = -FSkin->FontHeight;
    FCaptionFont = CreateFontIndirectW(&font);
  }
  if (!FMenuImages)
    FMenuImages = ImageList_LoadImageW(GetModuleHandleW(nullptr), L"SKINMENU", 16, 0,
                                       RGB(255, 255, 255), IMAGE_BITMAP, LR_CREATEDIBSECTION);

  if (SkinFormtype == sfMainform) {
    manager.InstallHook();
    if (FActive) {
      if (!SkinLoaded())
        FActive = false;
      else
        manager.SendCommand(scSkin, 250);
    }
    if (SkinControls.Contains(xcMainMenu))
      SkinControls.Exclude(xcMenuItem);
    else
      SkinControls.Exclude(xcSystemMenu);
    CreateCaptionIcon();
  } else {
    manager.SetActive(true);
    if (FOwner && FActive) manager.SkinWindow(FOwner->Handle());
  }
}

void TSkinData::CreateCaptionIcon() {
  int size = GetSystemMetrics(SM_CXSMICON);
  if (FCaptionIcon) DeleteObject(FCaptionIcon);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = size;
  info.bmiHeader.biHeight = size;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  void* bits = nullptr;
  FCaptionIcon = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!FCaptionIcon) return;
  HDC memory = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(memory, FCaptionIcon);
  RECT all{0, 0, size, size};
  HBRUSH magenta = CreateSolidBrush(RGB(255, 0, 255));
  FillRect(memory, &all, magenta);
  DeleteObject(magenta);
  HICON icon = static_cast<HICON>(
      LoadImageW(GetModuleHandleW(nullptr), L"MAINICON", IMAGE_ICON, size, size, LR_SHARED));
  if (!icon) icon = LoadIconW(nullptr, IDI_APPLICATION);
  DrawIconEx(memory, 0, 0, icon, size, size, 0, nullptr, DI_NORMAL);
  SelectObject(memory, old);
  DeleteDC(memory);
}

TSkinControlContext TSkinData::ControlContext() const {
  TSkinControlContext context;
  context.Skin = FSkin;
  context.NoFocusRect = Options.Contains(xoNoFocusRect);
  context.FaceColour = FSkin ? FFaceColour : CLR_INVALID;
  context.Font = FCaptionFont;
  context.MenuImages = FMenuImages;
  return context;
}

}  // namespace skin
