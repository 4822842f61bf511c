// The settings dialog "設置". Its location field and its check box are the program's
// in-memory settings: the game path and the automatic update.
#pragma once

#include <functional>

#include "ui/Dialogs.h"
#include "ui/Form.h"

namespace config {

class TForm2 : public ui::TForm {
 public:
  // The form definition: one row per control, parents first. Row i has control id
  // ui::ControlId(i).
  static const std::vector<ui::TControlDesc>& Layout();

  TForm2();

  // The check box "開啟時自動更新" as the form definition has it.
  static constexpr bool kAutoUpdateDefault = true;

  ui::TPageControl* PageControl1;
  ui::TLabel* Label2;
  ui::TGroupBox* GroupBox1;
  ui::TRadioButton* RadioButton1;
  ui::TLabel* Label3;
  ui::TEdit* Edit1;
  ui::TButton* Button3;
  ui::TLabel* Label4;
  ui::TGroupBox* GroupBox2;
  ui::TCheckBox* CheckBox1;
  ui::TLabel* Label9;
  ui::TButton* Button1;
  ui::TButton* Button2;
  ui::TOpenDialog OpenDialog1;

  // Runs after a confirmed, saved dialog has closed: the main window's status refresh.
  std::function<void()> OnConfirmed;

  std::wstring GamePath() const { return Edit1->Text(); }
  bool AutoUpdate() const { return CheckBox1->Checked(); }

  void Button3Click();  // browse
  void Button1Click();  // confirm
  void Button2Click();  // cancel

 private:
  void FormCreate();
};

}  // namespace config
