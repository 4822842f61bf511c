// The settings dialog on a real window: confirm, cancel, and what reaches Config.ini.
#include <windows.h>

#include <gtest/gtest.h>

#include "config/Form2.h"
#include "config/IniFile.h"
#include "config/Paths.h"
#include "ui/Application.h"

using namespace config;

namespace {

class SettingsDialog : public ::testing::Test {
 protected:
  void SetUp() override {
    ui::Application().Initialize(GetModuleHandleW(nullptr));
    ui::Application().SetTitle(L"VornisTools");
    ui::Application().SetMessageBoxResponder([this](const ui::TMessageBoxRecord& box) {
      Boxes.push_back(box);
      return IDOK;
    });
    DeleteFileW(ConfigIniPath().c_str());
    Form = std::make_unique<TForm2>();
    Form->OnConfirmed = [this] { ++Confirmed; };
  }
  void TearDown() override {
    ui::Application().SetMessageBoxResponder(nullptr);
    DeleteFileW(ConfigIniPath().c_str());
  }

  std::unique_ptr<TForm2> Form;
  std::vector<ui::TMessageBoxRecord> Boxes;
  int Confirmed = 0;
};

}  // namespace

TEST_F(SettingsDialog, StartsWithItsDefaults) {
  EXPECT_EQ(L"設置", Form->Caption());
  EXPECT_EQ(L"", Form->Edit1->Text());
  EXPECT_TRUE(Form->CheckBox1->Checked());
  EXPECT_TRUE(Form->RadioButton1->Checked());
  EXPECT_EQ(0, Form->PageControl1->ActivePageIndex());
  RECT bounds{};
  GetWindowRect(Form->Handle(), &bounds);
  EXPECT_EQ(537, bounds.right - bounds.left);
  EXPECT_EQ(380, bounds.bottom - bounds.top);
  EXPECT_EQ(L"VNgame.exe", Form->OpenDialog1.FileName);
  EXPECT_EQ(L"exe文件(*.exe)|*.exe", Form->OpenDialog1.Filter);
}

TEST_F(SettingsDialog, BlankPathIsRefusedAndNothingWritten) {
  Form->Edit1->SetText(L"  \t ");
  Form->Button1->Click();
  ASSERT_EQ(1u, Boxes.size());
  EXPECT_EQ(L"不可以設為空", Boxes[0].Text);
  EXPECT_EQ(L"VornisTools", Boxes[0].Caption);
  EXPECT_EQ(static_cast<UINT>(MB_OK), Boxes[0].Flags);
  EXPECT_EQ(0, Confirmed);
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(ConfigIniPath().c_str()));
}

TEST_F(SettingsDialog, ConfirmStoresTrimmedPathAndRunsTheStatusRefresh) {
  Form->Edit1->SetText(L"  C:\\Game\\bin\\VNgame.exe ");
  Form->CheckBox1->SetChecked(false);
  Form->Button1->Click();
  EXPECT_TRUE(Boxes.empty());
  EXPECT_EQ(1, Confirmed);
  TIniFile ini(ConfigIniPath());
  EXPECT_EQ(L"C:\\Game\\bin\\VNgame.exe", ini.ReadString(L"game", L"gamepath", L""));
  EXPECT_EQ(L"0", ini.ReadString(L"updata", L"autoupdata", L""));
  EXPECT_EQ(L"  C:\\Game\\bin\\VNgame.exe ", Form->Edit1->Text());
}

TEST_F(SettingsDialog, PathOutsideTheCodePageIsStoredSoThatItStillNamesTheFile) {
  std::wstring folder = _wgetenv(L"TEMP") + std::wstring(L"\\遊戲\U0001F3AE");
  std::wstring game = folder + L"\\VNgame.exe";
  CreateDirectoryW(folder.c_str(), nullptr);
  CloseHandle(CreateFileW(game.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  Form->Edit1->SetText(game);
  Form->Button1->Click();
  wchar_t stored[MAX_PATH] = {};
  GetLongPathNameW(TIniFile(ConfigIniPath()).ReadString(L"game", L"gamepath", L"").c_str(), stored,
                   MAX_PATH);
  EXPECT_EQ(game, stored);
  DeleteFileW(game.c_str());
  EXPECT_ANY_THROW(Form->Button1->Click());  // gone, and its short name with it
}

TEST_F(SettingsDialog, CancelKeepsEditsInMemoryOnly) {
  ui::Application().SetModalResponder([](ui::TForm& form) {
    auto& dialog = static_cast<TForm2&>(form);
    dialog.Edit1->SetText(L"D:\\Other\\VNgame.exe");
    dialog.Button2->Click();
    return dialog.ModalResult();
  });
  EXPECT_EQ(ui::mrCancel, Form->ShowModal());
  ui::Application().SetModalResponder(nullptr);
  EXPECT_EQ(L"D:\\Other\\VNgame.exe", Form->GamePath());
  EXPECT_EQ(0, Confirmed);
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(ConfigIniPath().c_str()));
}

TEST(ErrorBox, AppendsAFullStopUnlessTheTextEndsInOneOrBelow) {
  EXPECT_EQ(L"contact Orin.", ui::TApplication::ErrorBoxText(L"contact Orin"));
  EXPECT_EQ(L"done.", ui::TApplication::ErrorBoxText(L"done."));
  EXPECT_EQ(L"why!", ui::TApplication::ErrorBoxText(L"why!"));
  EXPECT_EQ(L"更新.", ui::TApplication::ErrorBoxText(L"更新"));
  EXPECT_EQ(L"", ui::TApplication::ErrorBoxText(L""));
}
