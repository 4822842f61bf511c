// Class identity of real controls: what the skin's class map and ancestry rules see.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>

#include "ui/Application.h"
#include "ui/Controls.h"
#include "ui/Form.h"

using namespace ui;

namespace {

std::unique_ptr<TControl> Make(TControlKind kind) {
  TPanel::RegisterWindowClass();
  TControlDesc desc;
  desc.Kind = kind;
  HWND parent = CreateWindowExW(0, L"VornisPanel", L"", WS_OVERLAPPED, 0, 0, 100, 100, nullptr,
                                nullptr, GetModuleHandleW(nullptr), nullptr);
  return std::unique_ptr<TControl>(CreateControl(desc, parent, 1000));
}

}  // namespace

TEST(ClassInfo, ControlsAnswerTheirStandardAncestryCaseInsensitively) {
  Application().Initialize(GetModuleHandleW(nullptr));
  auto bitBtn = Make(TControlKind::BitBtn);
  EXPECT_STREQ(L"TBitBtn", bitBtn->ClassName());
  EXPECT_TRUE(bitBtn->InheritsFrom(L"TButton"));
  EXPECT_TRUE(bitBtn->InheritsFrom(L"tbitbtn"));
  EXPECT_FALSE(bitBtn->InheritsFrom(L"TBitBt"));

  // A radio button is matched as a radio button, never through the check-box rule.
  auto radio = Make(TControlKind::RadioButton);
  EXPECT_STREQ(L"TRadioButton", radio->ClassName());
  EXPECT_FALSE(radio->InheritsFrom(L"TCustomCheckBox"));
  EXPECT_TRUE(Make(TControlKind::CheckBox)->InheritsFrom(L"TCustomCheckBox"));

  auto sheet = Make(TControlKind::TabSheet);
  EXPECT_STREQ(L"TTabSheet", sheet->ClassName());
  EXPECT_FALSE(sheet->InheritsFrom(L"TCustomPanel"));
  EXPECT_TRUE(Make(TControlKind::Panel)->InheritsFrom(L"TCustomPanel"));
  EXPECT_TRUE(Make(TControlKind::GroupBox)->InheritsFrom(L"TCustomGroupBox"));
  EXPECT_TRUE(Make(TControlKind::ListView)->InheritsFrom(L"TCustomListView"));
  EXPECT_TRUE(Make(TControlKind::Edit)->InheritsFrom(L"TCustomEdit"));
  EXPECT_FALSE(Make(TControlKind::Label)->InheritsFrom(L"TWinControl"));
}

TEST(ClassInfo, TagStartsAtZeroAndKeepsItsValue) {
  auto button = Make(TControlKind::Button);
  EXPECT_EQ(0, button->Tag());
  button->SetTag(99);
  EXPECT_EQ(99, button->Tag());
}
