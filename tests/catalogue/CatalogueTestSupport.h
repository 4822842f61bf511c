// Shared by the catalogue tests: the main window created in the test process with its
// settings dialog, message boxes and modal dialogs answered and recorded, a prepared
// game folder, the test HTTP server on the product's port, and catalogue documents.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "TestHttpServer.h"
#include "app/Form1.h"
#include "config/Form2.h"
#include "ui/Application.h"

namespace cattest {

struct TItem {
  std::string Name, Id, Folder, Description, Author;  // UTF-8
};

inline std::string Escape(const std::string& text) {
  std::string result;
  for (char c : text) {
    if (c == '&')
      result += "&amp;";
    else if (c == '<')
      result += "&lt;";
    else if (c == '"')
      result += "&quot;";
    else
      result += c;
  }
  return result;
}

inline std::string ItemXml(const TItem& item) {
  return "<Item plugName=\"" + Escape(item.Name) + "\" plugid=\"" + Escape(item.Id) +
         "\" plugfolder=\"" + Escape(item.Folder) + "\" plugdescribe=\"" +
         Escape(item.Description) + "\" plugauthor=\"" + Escape(item.Author) + "\"/>";
}

// A UTF-8 catalogue, indented the way a publisher writes it.
inline std::string CatalogueXml(const std::vector<TItem>& items) {
  std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<plug>\r\n";
  for (const TItem& item : items) xml += "  " + ItemXml(item) + "\r\n";
  return xml + "</plug>\r\n";
}

// The list as the tests read it: caption and sub-items of each row, in display order.
inline std::vector<std::vector<std::wstring>> Rows(const ui::TListView& list) {
  std::vector<std::vector<std::wstring>> rows;
  for (int i = 0; i < list.Count(); ++i) {
    ui::TListView::TRow row = list.Row(i);
    std::vector<std::wstring> cells{row.Caption};
    cells.insert(cells.end(), row.SubItems.begin(), row.SubItems.end());
    rows.push_back(cells);
  }
  return rows;
}

inline std::vector<std::wstring> Captions(const ui::TListView& list) {
  std::vector<std::wstring> captions;
  for (int i = 0; i < list.Count(); ++i) captions.push_back(list.ItemCaption(i));
  return captions;
}

// The main window with a fresh settings dialog whose game path points into a prepared
// game folder: root\bin\VNgame.exe, add-ons under root\data\Mods\Addons.
class TMainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static bool initialized = [] {
      ui::Application().Initialize(GetModuleHandleW(nullptr));
      ui::Application().SetTitle(L"VornisTools");
      return true;
    }();
    (void)initialized;
    ui::Application().SetMessageBoxResponder([this](const ui::TMessageBoxRecord& box) {
      Boxes.push_back(box);
      return IDOK;
    });
    ui::Application().SetModalResponder([this](ui::TForm&) {
      ++SettingsShown;
      return static_cast<int>(ui::mrCancel);
    });

    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    GameRoot =
        std::filesystem::path(temp) / (L"vornis-cat-" + std::to_wstring(GetCurrentProcessId()) +
                                       L"-" + std::to_wstring(++Serial));
    std::filesystem::create_directories(GameRoot / L"bin");
    std::filesystem::create_directories(AddonsDir());

    // Each test starts without the copy an earlier test's load saved.
    DeleteFileW(app::TForm1::SavedCataloguePath().c_str());
    DeleteFileW((app::TForm1::SavedCataloguePath() + L".sig").c_str());
    Form = std::make_unique<app::TForm1>();
    Form->SetForm2(std::make_unique<config::TForm2>());
    Form->Form2().Edit1->SetText(GamePath());
    // The archive refresh ends with the status check; until it exists, stand in for it.
    Form->Button4->OnClick = [this] {
      ++RefreshClicks;
      Form->BitBtn4->Click();
    };
  }

  void TearDown() override {
    Form.reset();
    ui::Application().SetMessageBoxResponder(nullptr);
    ui::Application().SetModalResponder(nullptr);
    std::error_code ignored;
    std::filesystem::remove_all(GameRoot, ignored);
  }

  std::wstring GamePath() const { return (GameRoot / L"bin" / L"VNgame.exe").wstring(); }
  std::filesystem::path AddonsDir() const { return GameRoot / L"data" / L"Mods" / L"Addons"; }
  void Install(const std::wstring& folder) {
    std::filesystem::create_directories(AddonsDir() / folder);
  }

  void AddRow(const std::wstring& name, const std::wstring& folder = L"f",
              const std::wstring& description = L"d", const std::wstring& author = L"a") {
    Form->AddAddonRow(name, L"id", folder, description, author);
  }

  // The texts of the error boxes shown so far (stop icon).
  std::vector<std::wstring> Errors() const {
    std::vector<std::wstring> texts;
    for (const ui::TMessageBoxRecord& box : Boxes)
      if (box.Flags & MB_ICONSTOP) texts.push_back(box.Text);
    return texts;
  }

  static inline int Serial = 0;
  std::filesystem::path GameRoot;
  std::unique_ptr<app::TForm1> Form;
  std::vector<ui::TMessageBoxRecord> Boxes;
  int SettingsShown = 0;
  int RefreshClicks = 0;
};

// The main window with the test HTTP server on the update server's address.
class TServedTest : public TMainWindowTest {
 protected:
  void Serve(const std::string& body) { Server->SetBody("/Data.xml", body, "text/xml"); }
  int Fetches() const { return Server->RequestCount("/Data.xml"); }

  // Other test programs on this machine may hold the port for a while: wait for it
  // (a hang guard, not a measure of time).
  static std::unique_ptr<testserver::TTestHttpServer> Listen() {
    for (int attempt = 0;; ++attempt) {
      try {
        return std::make_unique<testserver::TTestHttpServer>(L"", testserver::kDefaultPort);
      } catch (const std::runtime_error&) {
        if (attempt == 600) throw;
        Sleep(500);
      }
    }
  }

  std::unique_ptr<testserver::TTestHttpServer> Server = Listen();
};

}  // namespace cattest
