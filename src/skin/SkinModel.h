// The parsed skin: every image and setting the skin description defines, read from a
// skin package. Portable: no platform header. Drawing, system-colour fallbacks and
// window handling live in the Win32 half of the module.
//
// Texts (skin name, section names) are the description's own bytes (ANSI); images are
// decoded to 0x00RRGGBB pixels. Nothing here keeps a reference into the package bytes.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/Exception.h"

namespace skin {

// A package that cannot be read: damaged, truncated, lying about a size.
class ESkinError : public Exception {
 public:
  using Exception::Exception;
};

// A package whose format number this reader does not know. The message is the exact
// text of the box the window side shows.
class ESkinOldFormat : public ESkinError {
 public:
  ESkinOldFormat() : ESkinError("This is Older Skin File\rPlease update to new version !") {}
};

// The transparent colour of every skin image.
constexpr uint32_t kSkinMagenta = 0xFF00FF;

// The pixels of a bitmap. Copies share one buffer: an image named from many keys of a
// description is decoded once and every element that shows it holds the same pixels.
// A write through a non-const accessor first gives the writer a buffer of its own.
class TSkinPixels {
 public:
  using value_type = uint32_t;
  using size_type = size_t;
  using iterator = std::vector<uint32_t>::iterator;
  using const_iterator = std::vector<uint32_t>::const_iterator;

  TSkinPixels() = default;
  TSkinPixels(std::vector<uint32_t> pixels)  // implicit: a bitmap is written as a vector
      : FPixels(std::make_shared<std::vector<uint32_t>>(std::move(pixels))) {}

  const std::vector<uint32_t>& Vector() const;
  operator const std::vector<uint32_t>&() const { return Vector(); }
  size_t size() const { return Vector().size(); }
  bool empty() const { return Vector().empty(); }
  const uint32_t* data() const { return Vector().data(); }
  const uint32_t& operator[](size_t at) const { return Vector()[at]; }
  const_iterator begin() const { return Vector().begin(); }
  const_iterator end() const { return Vector().end(); }
  // True when both hold the very same buffer.
  bool Shares(const TSkinPixels& other) const { return FPixels && FPixels == other.FPixels; }

  // Writers: each makes the buffer this object's own first.
  std::vector<uint32_t>& Own();
  uint32_t& operator[](size_t at) { return Own()[at]; }
  iterator begin() { return Own().begin(); }
  iterator end() { return Own().end(); }
  void push_back(uint32_t pixel) { Own().push_back(pixel); }
  void resize(size_t count, uint32_t pixel = 0) { Own().resize(count, pixel); }
  template <typename... TArgs>
  iterator insert(const_iterator at, TArgs&&... args) {
    return Own().insert(at, std::forward<TArgs>(args)...);
  }

  friend bool operator==(const TSkinPixels& a, const TSkinPixels& b) {
    return a.Vector() == b.Vector();
  }

 private:
  std::shared_ptr<std::vector<uint32_t>> FPixels;
};

struct TSkinBitmap {
  int Width = 0;
  int Height = 0;
  TSkinPixels Pixels;  // top-down rows, 0x00RRGGBB
  bool Empty() const { return Width <= 0 || Height <= 0; }
  uint32_t Pixel(int x, int y) const { return Pixels[static_cast<size_t>(y) * Width + x]; }
};

// A colour written as three numbers; Set is false when the key is missing or unusable.
struct TSkinColour {
  int R = -1;
  int G = -1;
  int B = -1;
  bool Set = false;
  uint32_t Rgb() const { return (uint32_t(R) << 16) | (uint32_t(G) << 8) | uint32_t(B); }
};

// One element section. Frame is the number of frames side by side in Image (0 or less
// reads as one); Tile is 0 stretch, 1 tile. The extras at the end belong to the named
// sections only and stay at their defaults elsewhere.
struct TSkinElement {
  bool Present = false;  // the section names an image that was found
  TSkinBitmap Image;
  TSkinBitmap Image2;  // "Tabs" Border, "ComboButton" ****, "UpDown.*" GlyphImage
  int Style = 0;
  int LeftWidth = 0;
  int RightWidth = 0;
  int TopHeight = 0;
  int BottomHeight = 0;
  int Frame = 0;
  bool Trans = false;
  int Tile = 0;
  int NormalColour = -1;
  int MouseOverColour = -1;
  int PressedColour = -1;
  TSkinColour NormalColour2;
  TSkinColour MouseOverColour2;
  TSkinColour PressedColour2;
  // "Buttons": the check box and radio button images and their frame counts.
  TSkinBitmap CheckButton;
  TSkinBitmap RadioButton;
  int CheckButtonFrame = 0;
  int RadioButtonFrame = 0;
  // "GroupBox": placement of the label background.
  int BackgroundAlignment = 0;
  int BackgroundLeftShift = 0;
  int BackgroundRightShift = 0;

  int Frames() const { return Frame > 0 ? Frame : 1; }
};

// A window border ("Left", "Right", "Top", "Bottom"): a fixed first part TopHeight, a
// fixed last part BotHeight, a middle stretched (Stretch 1) or tiled (0); Frame 2 holds
// the active and the inactive look side by side.
struct TSkinBorder {
  TSkinBitmap Image;
  int TopHeight = 0;
  int BotHeight = 0;
  int Frame = 1;
  int Stretch = 1;
  bool Trans = true;
  bool Present() const { return !Image.Empty(); }
  int Frames() const { return Frame > 0 ? Frame : 1; }
};

// The caption text placement of section "Personality".
struct TSkinTitle {
  TSkinBitmap TextBack;  // two frames: active, inactive
  int Frame = 2;
  int TextShift = 0;
  int TextShiftVert = 0;
  int TextRightClip = 0;
  int TextAlignment = 0;  // 0 left at TextShift, 1 centred, 2 right at TextRightClip
  int Textbackground = 0;
  int TXTBackleft = 0;
  int TXTBackRight = 0;
  TSkinColour ActiveText;
  TSkinColour InActiveText;
};

// One caption-button section. Frame is the number of frames side by side in Image.
struct TSkinCaptionButton {
  std::string Section;
  int Action = -1;
  int Align = 0;
  int Xcoord = 0;
  int Ycoord = 0;
  int Visibility = 0;
  int Visibility1 = 0;
  int CombineOp = 0;
  int Frame = 6;
  TSkinBitmap Image;
  int FrameWidth() const { return Frame > 0 ? Image.Width / Frame : Image.Width; }
};

// The menu bar background of section "Personality".
struct TSkinMenuBar {
  TSkinBitmap Image;
  int TileMenu = 1;
  int TileLeftMenu = 1;
  int TileRightMenu = 1;
};

// Section "Colours"; each entry unset when its key is missing (the window side falls
// back to the matching system colour).
struct TSkinColours {
  TSkinColour WindowText, ButtonFace, Scrollbar, HilightText, Hilight, Menubar, Menu, MenuText,
      ButtonText, ButtonHilight, Buttonlight, ButtonShadow, ButtonDkShadow, MenuBarText,
      TitleTextActive, TitleTextNoActive;
};

struct TSkin {
  std::string SkinName;
  TSkinBorder Left, Right, Top, Bottom;
  TSkinTitle Title;
  TSkinElement CaptionBar;  // "Personality" read as an element
  TSkinMenuBar MenuBar;
  std::vector<TSkinCaptionButton> CaptionButtons;  // in section order
  TSkinBitmap MdiControls;                         // twelve equal parts side by side
  TSkinColours Colours;
  std::vector<TSkinColour> ExtraColours;       // "Colour..." sections, in order
  std::array<TSkinColour, 10> CustomColors{};  // "Customcolors" Color0..Color9
  int FontHeight = 14;
  TSkinColour FaceColour;                        // from the "Top" image; unset without one
  std::map<std::string, TSkinElement> Elements;  // by lower-cased section name

  // The element of a section ("Buttons", "Progress.Chunk", "Tabs", ...), matched
  // without regard to case; nullptr when the skin has no image for it.
  const TSkinElement* Element(std::string_view section) const;
};

// Reads a whole skin package (4-byte unpacked length, LZHUF stream): unpacks, splits,
// parses the description and decodes the images it names. Throws ESkinOldFormat for an
// unknown format number and ESkinError for anything damaged.
TSkin ReadSkin(std::span<const uint8_t> package);

}  // namespace skin
