// Turns a split package into the skin model: reads the description's sections and
// decodes every image it names. Images are looked up by their lower-cased name; only
// names ending in ".bmp" are loaded, and a name missing from the package leaves the
// image empty. A named bitmap that is damaged refuses the whole package. Each file is
// decoded once, however many keys name it, and the images share their pixels.
#include <algorithm>
#include <cstdio>
#include <unordered_map>

#include "skin/SkinIni.h"
#include "skin/SkinRead.h"

namespace skin {
namespace {

bool EndsWithBmp(const std::string& lower) {
  return lower.size() >= 4 && lower.compare(lower.size() - 4, 4, ".bmp") == 0;
}

class TSkinParser {
 public:
  TSkinParser(const TSkinPackage& package, std::string_view text) : FIni(text) {
    // The first file of each name, as TSkinPackage::Find answers.
    for (const TSkinFile& file : package.Files) FFiles.try_emplace(file.Name, &file);
  }

  TSkin Parse();

 private:
  TSkinBitmap Image(std::string_view section, std::string_view key) const;
  TSkinElement Element(std::string_view section) const;
  void ReadBorder(TSkinBorder& border, const std::string& name) const;
  void ReadTitle(TSkin& skin) const;
  void ReadColours(TSkin& skin) const;
  void ReadCaptionButtons(TSkin& skin) const;
  void ReadElements(TSkin& skin) const;
  void SetFrameCounts(TSkin& skin) const;

  TSkinIni FIni;
  std::unordered_map<std::string_view, const TSkinFile*> FFiles;
  // The images decoded so far, by file, and the pixels they hold together.
  mutable std::unordered_map<const TSkinFile*, TSkinBitmap> FDecoded;
  mutable int64_t FDecodedPixels = 0;
};

TSkinBitmap TSkinParser::Image(std::string_view section, std::string_view key) const {
  const auto value = FIni.Value(section, key);
  if (!value) return {};
  const std::string name = LowerAscii(*value);
  if (!EndsWithBmp(name)) return {};
  const auto file = FFiles.find(name);
  if (file == FFiles.end()) return {};
  auto decoded = FDecoded.find(file->second);
  if (decoded == FDecoded.end()) {
    TSkinBitmap bitmap = DecodeBmp(file->second->Data, kMaxSkinPixels - FDecodedPixels);
    FDecodedPixels += int64_t(bitmap.Width) * bitmap.Height;
    decoded = FDecoded.emplace(file->second, std::move(bitmap)).first;
  }
  return decoded->second;
}

TSkinElement TSkinParser::Element(std::string_view section) const {
  TSkinElement e;
  e.Image = Image(section, "Image");
  if (e.Image.Empty()) e.Image = Image(section, "Bitmap");
  e.Present = !e.Image.Empty();
  e.Style = FIni.Integer(section, "Style", 0);
  e.LeftWidth = FIni.Integer(section, "LeftWidth", 0);
  e.RightWidth = FIni.Integer(section, "RightWidth", 0);
  e.TopHeight = FIni.Integer(section, "TopHeight", 0);
  e.BottomHeight = FIni.Integer(section, "BottomHeight", 0);
  e.Frame = FIni.Integer(section, "Frame", 0);
  e.Trans = FIni.Integer(section, "Trans", 0) != 0;
  e.Tile = FIni.Integer(section, "Tile", 0) == 1 ? 1 : 0;
  e.NormalColour = FIni.Integer(section, "NormalColour", -1);
  e.MouseOverColour = FIni.Integer(section, "MouseOverColour", -1);
  e.PressedColour = FIni.Integer(section, "PressedColour", -1);
  e.NormalColour2 = FIni.Colour(section, "NormalColour2");
  e.MouseOverColour2 = FIni.Colour(section, "MouseOverColour2");
  e.PressedColour2 = FIni.Colour(section, "PressedColour2");
  return e;
}

void TSkinParser::ReadBorder(TSkinBorder& border, const std::string& name) const {
  constexpr std::string_view kSection = "Personality";
  border.Image = Image(kSection, name);
  border.TopHeight = FIni.Integer(kSection, name + "TopHeight", 0);
  border.BotHeight = FIni.Integer(kSection, name + "BotHeight", 0);
  border.Frame = FIni.Integer(kSection, name + "Frame", 1);
  border.Stretch = std::clamp(FIni.Integer(kSection, name + "Stretch", 1), 0, 1);
  border.Trans = FIni.Integer(kSection, name + "Trans", 1) != 0;
}

void TSkinParser::ReadTitle(TSkin& skin) const {
  constexpr std::string_view kSection = "Personality";
  TSkinTitle& t = skin.Title;
  t.TextBack = Image(kSection, "TextBack");
  t.TextShift = FIni.Integer(kSection, "TextShift", 0);
  t.TextShiftVert = FIni.Integer(kSection, "TextShiftVert", 0);
  t.TextRightClip = FIni.Integer(kSection, "TextRightClip", 0);
  t.TextAlignment = FIni.Integer(kSection, "TextAlignment", 0);
  t.Textbackground = FIni.Integer(kSection, "Textbackground", 0);
  t.TXTBackleft = FIni.Integer(kSection, "TXTBackleft", 0);
  t.TXTBackRight = FIni.Integer(kSection, "TXTBackRight", 0);
  auto triple = [&](const std::string& prefix) {
    TSkinColour c;
    c.R = FIni.Integer(kSection, prefix + "R", -1);
    c.G = FIni.Integer(kSection, prefix + "G", -1);
    c.B = FIni.Integer(kSection, prefix + "B", -1);
    c.Set = c.R >= 0 && c.R <= 255 && c.G >= 0 && c.G <= 255 && c.B >= 0 && c.B <= 255;
    return c;
  };
  t.ActiveText = triple("ActiveText");
  t.InActiveText = triple("InActiveText");

  skin.CaptionBar = Element(kSection);
  skin.MenuBar.Image = Image(kSection, "menuBar");
  skin.MenuBar.TileMenu = FIni.Integer(kSection, "TileMenu", 1);
  skin.MenuBar.TileLeftMenu = FIni.Integer(kSection, "TileLeftMenu", 1);
  skin.MenuBar.TileRightMenu = FIni.Integer(kSection, "TileRightMenu", 1);
}

void TSkinParser::ReadColours(TSkin& skin) const {
  constexpr std::string_view kSection = "Colours";
  TSkinColours& c = skin.Colours;
  const std::pair<const char*, TSkinColour*> keys[] = {
      {"WindowText", &c.WindowText},
      {"ButtonFace", &c.ButtonFace},
      {"Scrollbar", &c.Scrollbar},
      {"HilightText", &c.HilightText},
      {"Hilight", &c.Hilight},
      {"Menubar", &c.Menubar},
      {"Menu", &c.Menu},
      {"MenuText", &c.MenuText},
      {"ButtonText", &c.ButtonText},
      {"ButtonHilight", &c.ButtonHilight},
      {"Buttonlight", &c.Buttonlight},
      {"ButtonShadow", &c.ButtonShadow},
      {"ButtonDkShadow", &c.ButtonDkShadow},
      {"MenuBarText", &c.MenuBarText},
      {"TitleTextActive", &c.TitleTextActive},
      {"TitleTextNoActive", &c.TitleTextNoActive},
  };
  for (const auto& [key, colour] : keys) *colour = FIni.Colour(kSection, key);

  for (const std::string& section : FIni.Sections()) {
    const std::string upper = LowerAscii(section);
    if (upper.rfind("colour", 0) == 0 && upper != "colours") {
      skin.ExtraColours.push_back(FIni.Colour(section, "color"));
    }
  }
  for (int i = 0; i < 10; ++i) {
    TSkinColour colour = FIni.Colour("Customcolors", "Color" + std::to_string(i));
    if (!colour.Set) colour = {255, 255, 255, true};
    skin.CustomColors[static_cast<size_t>(i)] = colour;
  }
  skin.FontHeight = FIni.Integer("Fonts", "FontHeight", 14);
}

void TSkinParser::ReadCaptionButtons(TSkin& skin) const {
  for (const std::string& section : FIni.Sections()) {
    const std::string lower = LowerAscii(section);
    if (lower.rfind("button", 0) != 0 || lower == "buttons" || lower == "button.radio" ||
        lower == "button.checkbox") {
      continue;
    }
    TSkinCaptionButton b;
    b.Section = section;
    b.Action = FIni.Integer(section, "Action", -1);
    b.Visibility = FIni.Integer(section, "Visibility", 0);
    if (b.Action == -1 && b.Visibility == 0) continue;
    b.Align = FIni.Integer(section, "Align", 0);
    b.Xcoord = FIni.Integer(section, "Xcoord", 0);
    b.Ycoord = FIni.Integer(section, "Ycoord", 0);
    b.Visibility1 = FIni.Integer(section, "Visibility1", 0);
    b.CombineOp = FIni.Integer(section, "CombineOp", 0);
    b.Image = Image(section, "ButtonImage");
    const bool narrow = !b.Image.Empty() && b.Image.Width * 10 <= b.Image.Height * 38;
    b.Frame = FIni.Integer(section, "frame", narrow ? 3 : 6);
    skin.CaptionButtons.push_back(std::move(b));
  }
  skin.MdiControls = Image("MDICONTROLS", "Image");
}

void TSkinParser::ReadElements(TSkin& skin) const {
  static constexpr const char* kPlain[] = {"Progress",
                                           "Progress.Chunk",
                                           "GroupBoxEdge",
                                           "StatusBarEdges",
                                           "Tab.Pane",
                                           "ToolBars",
                                           "SunkEdge",
                                           "ExtraImages",
                                           "Headerbar",
                                           "MenuItem",
                                           "MenuBackground",
                                           "Scrollbar",
                                           "HorzScroll",
                                           "VertScroll",
                                           "HorzScrollThumb",
                                           "VertScrollThumb",
                                           "Trackbar.ThumbHorz",
                                           "Trackbar.ThumbVert",
                                           "Trackbar.ThumbLeft",
                                           "Trackbar.ThumbRight",
                                           "Trackbar.ThumbUp",
                                           "Trackbar.ThumbDown",
                                           "Track",
                                           "TRACKVERT",
                                           "GroupBox",
                                           "Tabs",
                                           "ComboButton",
                                           "UpDown.Horz",
                                           "UpDown.Vert",
                                           "Buttons"};
  for (const char* section : kPlain) {
    if (FIni.HasSection(section)) skin.Elements[LowerAscii(section)] = Element(section);
  }
  auto at = [&](const char* name) -> TSkinElement* {
    const auto it = skin.Elements.find(LowerAscii(name));
    return it == skin.Elements.end() ? nullptr : &it->second;
  };
  if (TSkinElement* e = at("Buttons")) {
    e->CheckButton = Image("Buttons", "CheckButton");
    e->RadioButton = Image("Buttons", "RadioButton");
    e->CheckButtonFrame = FIni.Integer("Buttons", "CheckButtonFrame", 0);
    e->RadioButtonFrame = FIni.Integer("Buttons", "RadioButtonFrame", 0);
  }
  if (TSkinElement* e = at("GroupBox")) {
    e->BackgroundAlignment = FIni.Integer("GroupBox", "BackgroundAlignment", 0);
    e->BackgroundLeftShift = FIni.Integer("GroupBox", "BackgroundLeftShift", 0);
    e->BackgroundRightShift = FIni.Integer("GroupBox", "BackgroundRightShift", 0);
  }
  if (TSkinElement* e = at("Tabs")) e->Image2 = Image("Tabs", "Border");
  if (TSkinElement* e = at("ComboButton")) e->Image2 = Image("ComboButton", "****");
  if (TSkinElement* e = at("UpDown.Horz")) e->Image2 = Image("UpDown.Horz", "GlyphImage");
  if (TSkinElement* e = at("UpDown.Vert")) e->Image2 = Image("UpDown.Vert", "GlyphImage");
  if (TSkinElement* e = at("Tab.Pane")) {
    e->LeftWidth = std::min(e->LeftWidth, 4);
    e->RightWidth = std::min(e->RightWidth, 4);
    e->TopHeight = std::min(e->TopHeight, 4);
    e->BottomHeight = std::min(e->BottomHeight, 4);
  }
  for (const char* thumb : {"HorzScrollThumb", "VertScrollThumb"}) {
    if (TSkinElement* e = at(thumb)) e->Frame = FIni.Integer(thumb, "FrameCount", 3);
  }
}

void TSkinParser::SetFrameCounts(TSkin& skin) const {
  const std::pair<const char*, int> fixed[] = {{"Buttons", 5},
                                               {"Tabs", 5},
                                               {"ToolBars", 5},
                                               {"Scrollbar", 23},
                                               {"HorzScroll", 4},
                                               {"VertScroll", 4},
                                               {"UpDown.Horz", 8},
                                               {"UpDown.Vert", 8},
                                               {"Trackbar.ThumbHorz", 5},
                                               {"Trackbar.ThumbVert", 5},
                                               {"Trackbar.ThumbLeft", 5},
                                               {"Trackbar.ThumbRight", 5},
                                               {"Trackbar.ThumbUp", 5},
                                               {"Trackbar.ThumbDown", 5}};
  for (const auto& [name, frames] : fixed) {
    const auto it = skin.Elements.find(LowerAscii(name));
    if (it != skin.Elements.end()) it->second.Frame = frames;
  }
  skin.Title.Frame = 2;
  // A caption button without a usable frame count is cut into square-ish frames of the
  // strip's usual size: 13 pixels for strips under 16 high, else 16, never fewer than 4.
  for (TSkinCaptionButton& b : skin.CaptionButtons) {
    if (b.Frame <= 0) b.Frame = std::max(4, b.Image.Width / (b.Image.Height < 16 ? 13 : 16));
  }
  // The face colour: one third across and down the first frame of the top border.
  const TSkinBorder& top = skin.Top;
  if (!top.Image.Empty()) {
    const int frameWidth = std::max(1, top.Image.Width / top.Frames());
    const uint32_t pixel = top.Image.Pixel(frameWidth / 3, top.Image.Height / 3);
    skin.FaceColour = {int(pixel >> 16), int((pixel >> 8) & 0xFF), int(pixel & 0xFF), true};
  }
}

TSkin TSkinParser::Parse() {
  TSkin skin;
  skin.SkinName = FIni.Value("TitlebarSkin", "SkinName").value_or("");
  ReadBorder(skin.Left, "Left");
  ReadBorder(skin.Right, "Right");
  ReadBorder(skin.Top, "Top");
  ReadBorder(skin.Bottom, "Bottom");
  ReadColours(skin);
  ReadCaptionButtons(skin);
  ReadTitle(skin);
  ReadElements(skin);
  SetFrameCounts(skin);
  return skin;
}

}  // namespace

TSkin ParseSkin(const TSkinPackage& package) {
  const TSkinFile* description = package.Description();
  if (description == nullptr) throw ESkinError("skin package: no description");
  const std::string_view text(reinterpret_cast<const char*>(description->Data.data()),
                              description->Data.size());
  return TSkinParser(package, text).Parse();
}

const TSkinElement* TSkin::Element(std::string_view section) const {
  const auto it = Elements.find(LowerAscii(section));
  return it == Elements.end() || !it->second.Present ? nullptr : &it->second;
}

}  // namespace skin
