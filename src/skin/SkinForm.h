// TSkinForm: the skinned frame of one top-level window. It subclasses the window,
// sizes and paints the non-client area from the skin's border images (borders, caption
// bar, caption text, caption buttons, menu bar), hit-tests and runs the caption
// buttons, shapes the window where the borders are magenta, and holds the skins of the
// window's controls.
//
// It does not decide which windows get a frame (TSkinManage does), and it never
// outlives its window: the window's non-client destroy detaches it and the manager
// frees it.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

namespace ui {
class TForm;
}

namespace skin {

struct TSkin;
class TSkinData;
class TSkinControl;
class TSkinFormMenuBar;
class TSkinPainter;

enum class TWindowKind { Normal, MDIFrame, MDIChild };
enum class TBorderKind { NoCaption, Sizeable, Fixed, Dialog };
enum class TShowState { Normal, Maximized, Minimized };

// Caption-button states (also the image frame drawn, counted from 1).
enum TButtonState { bsNormal = 1, bsPressed = 2, bsHot = 3 };

struct TCaptionButton {
  int Action = 0;
  int Align = 0;
  int Xcoord = 0;
  int Ycoord = 0;
  int Visibility = 0;
  int Visibility1 = 0;
  int Frames = 1;
  int Width = 0;          // image width / frames
  int Height = 0;         // image height
  size_t Definition = 0;  // index of its definition in the skin
  RECT Rect{};            // window coordinates
  bool Visible = false;
  bool Enabled = true;
  int State = bsNormal;
};

// Actions of the buttons that open the system menu and show the window's icon.
inline bool IsSystemMenuAction(int action) {
  return action == 3 || action == 11 || action == 12;
}

struct TFrameMetrics {
  int Left = 0;     // left border width
  int Caption = 0;  // caption height (top border image height)
  int Right = 0;    // right border width
  int Bottom = 0;   // bottom border height
  int MenuBar = 0;  // menu bar height, 0 without a menu
};

class TSkinForm {
 public:
  // `form` is the application form behind the window, or null for foreign windows
  // (standard dialogs, message boxes).
  TSkinForm(HWND window, TSkinData& data, ui::TForm* form);
  ~TSkinForm();
  TSkinForm(const TSkinForm&) = delete;
  TSkinForm& operator=(const TSkinForm&) = delete;

  // The frame behind a subclassed window, or null.
  static TSkinForm* FromHandle(HWND window);

  HWND Handle() const { return FHandle; }
  TSkinData& Data() const { return *FData; }
  ui::TForm* Form() const { return FForm; }
  const std::wstring& ClassName() const { return FClassName; }

  // Subclasses the window and prepares the frame; the window's 0x3503 finishes it.
  void Attach();
  // Restores procedure, colour, region and style, frees the control skins and lets the
  // system repaint its own frame. Safe to call more than once.
  void Detach();
  // Re-reads the skin and repaints.
  void Refresh();
  // Repaints the non-client area.
  void RepaintFrame();

  bool Attached() const { return FAttached; }
  bool Subclassed() const { return FSubclassed; }
  // Whether the frame paints the non-client area (else it only skins the controls).
  bool DrawsFrame() const { return FDrawFrame; }
  TWindowKind WindowKind() const { return FWindowKind; }
  TBorderKind BorderKind() const { return FBorderKind; }
  // Read from the window each time: the main form minimises through the application
  // window and never hears of it in a size message.
  TShowState ShowState() const;
  bool IsActive() const { return FActive; }
  const TFrameMetrics& Metrics() const { return FMetrics; }
  const std::vector<TCaptionButton>& Buttons() const { return FButtons; }
  const RECT& CaptionTextRect() const { return FCaptionTextRect; }
  // How many pixels of the caption text do not fit between the caption buttons.
  int CaptionTextShortfall();
  bool HasRegion() const { return FHasRegion; }
  // Number of times the region was built (for checks that resizing rebuilds it).
  int RegionBuilds() const { return FRegionBuilds; }
  TSkinFormMenuBar* MenuBar() const { return FMenuBar.get(); }

  // Takes the skin of one of the window's controls.
  void AddControl(std::unique_ptr<TSkinControl> control);
  size_t ControlCount() const { return FControls.size(); }
  bool HasControl(HWND control) const;

  // The subclassed window procedure's work; public for the menu bar and the manager.
  LRESULT CallDefault(UINT message, WPARAM wParam, LPARAM lParam);

 private:
  static LRESULT CALLBACK SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                       UINT_PTR id, DWORD_PTR data);
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

  // State (SkinFormState.cpp).
  void ReadStyles();
  void ReadMetrics();
  void ReadButtons();
  void LayoutButtons();
  bool ButtonShown(const TCaptionButton& button, int code, bool systemMenuCheck) const;
  void FinishAttach();
  void KeepClientSize(const RECT& clientBefore);
  void WidenForCaption();

  // Messages (SkinFormMessages.cpp).
  LRESULT OnNcCalcSize(WPARAM wParam, LPARAM lParam);
  LRESULT OnNcHitTest(WPARAM wParam, LPARAM lParam);
  LRESULT OnNcMouse(UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT OnNcActivate(UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT OnSysCommand(WPARAM wParam, LPARAM lParam);
  LRESULT OnSize(WPARAM wParam, LPARAM lParam);
  LRESULT OnGetMinMaxInfo(WPARAM wParam, LPARAM lParam);
  LRESULT OnMenuChanged(WPARAM wParam, LPARAM lParam);
  // A pressed caption button holds the mouse: moves show it pressed only while over
  // it, and the up acts only over it (false when the message is not about a press).
  bool OnCapturedMouse(UINT message, WPARAM wParam, LPARAM lParam);
  void TrackPress(POINT windowPoint);
  void EndPress(POINT windowPoint, POINT screenPoint);
  void OnHotTimer();
  POINT ToWindow(LPARAM screenPoint) const;
  int ButtonAt(POINT windowPoint) const;
  void SetHot(int button);
  void RunAction(const TCaptionButton& button, POINT screenPoint);
  void OpenSystemMenu(POINT screenPoint);
  void OpenMenuItem(int item);

  // Painting (SkinFormPaint.cpp).
  void PaintFrame(HDC windowDc);
  // The caption text, where it goes (window coordinates, cut to the room it has) and
  // its full width; `dc` has the caption font selected.
  struct TCaptionText {
    std::wstring Text;
    RECT Rect{};
    int Width = 0;
  };
  TCaptionText PlaceCaptionText(HDC dc) const;
  HFONT CaptionTextFont() const;
  void PaintCaptionText(HDC dc);
  void PaintButtons(HDC dc, int originX);
  void LayoutCaption(int width);
  COLORREF CaptionTextColour() const;
  // Runs a default handling that would paint the system's own caption, then repaints.
  LRESULT DefaultThenRepaint(UINT message, WPARAM wParam, LPARAM lParam);

  // Region (SkinFormRegion.cpp).
  void UpdateRegion(bool force);
  void RemoveRegion();

  HWND FHandle;
  TSkinData* FData;
  ui::TForm* FForm;
  std::shared_ptr<const TSkin> FSkin;  // the skin the frame draws with (kept alive)
  std::unique_ptr<TSkinPainter> FPainter;
  std::wstring FClassName;
  HWND FOwner = nullptr;
  bool FUnicode = true;
  bool FDrawFrame = false;

  TWindowKind FWindowKind = TWindowKind::Normal;
  TBorderKind FBorderKind = TBorderKind::Fixed;
  bool FHasSysMenu = false;
  bool FHasMinBox = false;
  bool FHasMaxBox = false;
  bool FHasHelpBox = false;
  bool FActive = false;
  TFrameMetrics FMetrics;

  std::vector<TCaptionButton> FButtons;
  int FHotButton = -1;
  int FPressedButton = -1;
  RECT FCaptionTextRect{};
  SIZE FRegionSize{-1, -1};
  bool FHasRegion = false;
  int FRegionBuilds = 0;
  DWORD FLastSysMenuTime = 0;

  std::unique_ptr<TSkinFormMenuBar> FMenuBar;
  HMENU FTakenMenu = nullptr;  // the window's own menu, given back at detach
  std::vector<std::unique_ptr<TSkinControl>> FControls;

  // False once detached: code that ran a modal loop checks it before touching the frame.
  std::shared_ptr<bool> FAlive = std::make_shared<bool>(true);
  static constexpr UINT_PTR kHotTimer = 0x3533;
  static constexpr UINT_PTR kSubclassId = 0x3503;
  bool FSubclassed = false;
  LONG FOldStyle = 0;
  bool FAttached = false;
  bool FDetached = false;
  UINT_PTR FTimer = 0;
};

}  // namespace skin
