// "更新 UI" on the real main window against Data.xml served on 127.0.0.1: the rows it
// makes, the game-path test, the loop guard of an empty catalogue, and every way the
// load can fail, each ending in one error box that says what went wrong.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "CatalogueTestSupport.h"
#include "TestSigner.h"
#include "catalogue/Catalogue.h"
#include "signing/Signature.h"

namespace {

using cattest::Captions;
using cattest::CatalogueXml;
using cattest::ItemXml;
using cattest::Rows;
using cattest::TItem;
using cattest::TServedTest;

using CatalogueLoad = TServedTest;

const std::vector<TItem> kChineseCatalogue = {
    {"龍", "11", "Dragon", "龍族任務", "小明"},
    {"天氣", "12", " Weather ", "", "阿華"},
    {"一", "13", "One", "第一", "Ann"},
    {"任務", "14", "Quest", "任務追蹤", "bob"},
};

TEST_F(CatalogueLoad, ChineseCatalogueBecomesSortedRowsWithOrdinals) {
  Serve(CatalogueXml(kChineseCatalogue));
  Form->Button4->OnClick = [this] { ++RefreshClicks; };  // keep the ordinals visible
  Form->Button3->Click();

  EXPECT_TRUE(Errors().empty());
  EXPECT_EQ(Fetches(), 1);
  EXPECT_EQ(RefreshClicks, 1);
  EXPECT_EQ(Form->ListView1->ColumnCaption(1), L"UI_ID");
  // Big5 order 一 天氣 任務 龍; ordinals are the document positions; the folder keeps
  // its blanks; plugid is not kept.
  EXPECT_EQ(Rows(*Form->ListView1), (std::vector<std::vector<std::wstring>>{
                                        {L"一", L"3", L"One", L"第一", L"Ann"},
                                        {L"天氣", L"2", L" Weather ", L"", L"阿華"},
                                        {L"任務", L"4", L"Quest", L"任務追蹤", L"bob"},
                                        {L"龍", L"1", L"Dragon", L"龍族任務", L"小明"},
                                    }));
}

// A server that stalls must not freeze the window: it answers meanwhile (here it lets
// the server go on), and a second "更新 UI" then starts no second load.
TEST_F(CatalogueLoad, WindowAnswersWhileTheCatalogueArrives) {
  Serve(CatalogueXml(kChineseCatalogue));
  Server->SetFault("/Data.xml", {.StallAfterBytes = 10});
  bool answered = false;
  std::function<void()> answer = [&] {
    if (Server->StalledCount() == 0) return ui::Application().Post(answer);
    answered = true;
    Form->Button3->Click();
    Server->ReleaseStalls();
  };
  ui::Application().Post(answer);
  // A load that froze the window would end only here: a hang guard, long enough for the
  // first load of a process on a loaded machine to reach the stall.
  std::atomic<bool> loaded{false};
  std::thread guard([&] {
    for (int i = 0; i < 1200 && !loaded; ++i) Sleep(50);
    Server->ReleaseStalls();
  });
  Form->Button3->Click();
  loaded = true;
  guard.join();
  EXPECT_TRUE(answered);
  EXPECT_TRUE(Errors().empty());
  EXPECT_EQ(Fetches(), 1);
  EXPECT_EQ(Form->ListView1->Count(), 4);
}

TEST_F(CatalogueLoad, BThenAGivesAWithTwoAndBWithOne) {
  Serve(CatalogueXml({{"B", "x", "b", "", ""}, {"A", "y", "a", "", ""}}));
  Form->Button4->OnClick = nullptr;
  Form->Button3->Click();
  EXPECT_EQ(Rows(*Form->ListView1),
            (std::vector<std::vector<std::wstring>>{{L"A", L"2", L"a", L"", L""},
                                                    {L"B", L"1", L"b", L"", L""}}));
}

TEST_F(CatalogueLoad, LoadEndsWithTheStatusCheckThroughTheRefresh) {
  Serve(CatalogueXml(kChineseCatalogue));
  Install(L"Weather");  // the row's folder is " Weather ": the path uses it trimmed
  Install(L"Quest");
  Form->LaunchAddonCount = 1;
  Form->Button3->Click();

  EXPECT_TRUE(Errors().empty());
  EXPECT_EQ(Form->ListView1->ColumnCaption(1), L"狀態");
  std::vector<std::wstring> states;
  for (int i = 0; i < Form->ListView1->Count(); ++i)
    states.push_back(Form->ListView1->SubItem(i, 0));
  EXPECT_EQ(states, (std::vector<std::wstring>{L"未安裝", L"已安裝", L"已安裝", L"未安裝"}));
  EXPECT_EQ(Form->Label12->Caption(), L"2");
  EXPECT_EQ(Form->Label14->Caption(), L"2");
  EXPECT_EQ(Form->Label10->Caption(), L"4");
  EXPECT_EQ(Form->Label15->Caption(), L"最近更新個數3");
}

TEST_F(CatalogueLoad, SecondLoadReplacesTheRows) {
  Serve(CatalogueXml(kChineseCatalogue));
  Form->Button3->Click();
  Serve(CatalogueXml({{"B", "x", "b", "", ""}}));
  Form->Button3->Click();
  EXPECT_EQ(Captions(*Form->ListView1), std::vector<std::wstring>{L"B"});
  EXPECT_EQ(Fetches(), 2);
}

TEST_F(CatalogueLoad, BlankGamePathAsksForItAndTouchesNothing) {
  Form->AddAddonRow(L"kept", L"1", L"k", L"", L"");
  for (const wchar_t* path : {L"", L"   "}) {
    Boxes.clear();
    SettingsShown = 0;
    Form->Form2().Edit1->SetText(path);
    Form->Button3->Click();
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].Text, L"請設定遊戲安裝位置");
    EXPECT_EQ(Boxes[0].Caption, L"VornisTools");
    EXPECT_EQ(SettingsShown, 1);
  }
  EXPECT_EQ(Captions(*Form->ListView1), std::vector<std::wstring>{L"kept"});
  EXPECT_EQ(Fetches(), 0);
  EXPECT_EQ(RefreshClicks, 0);
}

// A root without children is a valid, empty catalogue. The status check on an empty
// list loads; the load's refresh runs the status check on the still empty list, which
// must not load again.
TEST_F(CatalogueLoad, EmptyCatalogueLoadsExactlyOnce) {
  for (const char* empty : {"<plug/>", "<?xml version=\"1.0\"?>\r\n<plug>\r\n</plug>"}) {
    Server->ClearRequests();
    RefreshClicks = 0;
    Serve(empty);
    Form->BitBtn4->Click();
    EXPECT_TRUE(Boxes.empty()) << (Boxes.empty() ? "" : ui::Narrow(Boxes[0].Text));
    EXPECT_EQ(Fetches(), 1) << empty;
    EXPECT_EQ(RefreshClicks, 1);
    EXPECT_EQ(Form->ListView1->Count(), 0);
    EXPECT_EQ(Form->Label10->Caption(), L"0");
    EXPECT_EQ(Form->Label15->Caption(), L"最近更新個數0");
    EXPECT_EQ(Form->ListView1->ColumnCaption(1), L"UI_ID");  // no row: caption untouched
  }
}

TEST_F(CatalogueLoad, StatusCheckOnEmptyListLoadsFirst) {
  Serve(CatalogueXml(kChineseCatalogue));
  Form->Button4->OnClick = [this] { ++RefreshClicks; };
  Form->BitBtn4->Click();
  EXPECT_EQ(Fetches(), 1);
  EXPECT_EQ(Form->ListView1->Count(), 4);
  EXPECT_EQ(Form->ListView1->SubItem(0, 0), L"未安裝");
  EXPECT_EQ(Form->Label14->Caption(), L"4");
}

// Each failure: one error box (stop icon, title caption, "." appended), no refresh.
class CatalogueLoadFailure : public TServedTest {
 protected:
  std::wstring LoadAndExpectOneError() {
    ui::Application().Guard([this] { Form->Button3->Click(); });  // as a user's click
    EXPECT_EQ(RefreshClicks, 0);
    std::vector<std::wstring> errors = Errors();
    EXPECT_EQ(Boxes.size(), 1u);
    if (errors.size() != 1) return L"";
    EXPECT_EQ(Boxes[0].Caption, L"VornisTools");
    EXPECT_EQ(errors[0], ui::TApplication::ErrorBoxText(errors[0]));  // the "." rule ran
    return errors[0];
  }
  static bool Has(const std::wstring& text, const wchar_t* part) {
    return text.find(part) != std::wstring::npos;
  }
};

TEST_F(CatalogueLoadFailure, MissingDocument) {
  std::wstring error = LoadAndExpectOneError();  // nothing served: 404
  EXPECT_TRUE(Has(error, L"HTTP 404")) << ui::Narrow(error);
  EXPECT_TRUE(Has(error, L"/Data.xml")) << ui::Narrow(error);
  EXPECT_EQ(Form->ListView1->Count(), 0);
}

TEST_F(CatalogueLoadFailure, ServerError) {
  Serve(CatalogueXml(kChineseCatalogue));
  Server->SetFault("/Data.xml", {.Status = 500});
  EXPECT_TRUE(Has(LoadAndExpectOneError(), L"HTTP 500"));
}

TEST_F(CatalogueLoadFailure, ServerUnreachable) {
  Server.reset();
  std::wstring error = LoadAndExpectOneError();
  EXPECT_TRUE(Has(error, L"無法連線到更新伺服器")) << ui::Narrow(error);
  EXPECT_EQ(Form->ListView1->Count(), 0);
}

TEST_F(CatalogueLoadFailure, BodyCutShort) {
  Serve(CatalogueXml(kChineseCatalogue));
  Server->SetFault("/Data.xml", {.AnnouncedLength = 100000});
  std::wstring error = LoadAndExpectOneError();
  EXPECT_TRUE(Has(error, L"不完整") || Has(error, L"中斷")) << ui::Narrow(error);
  EXPECT_EQ(Form->ListView1->Count(), 0);
}

TEST_F(CatalogueLoadFailure, NotWellFormedSaysWhere) {
  Serve("<?xml version=\"1.0\"?>\n<plug>\n  " + ItemXml(kChineseCatalogue[0]) +
        "\n  <Item plugName=\"x\"\n</plug>\n");
  std::wstring error = LoadAndExpectOneError();
  EXPECT_TRUE(Has(error, L"不是格式正確的 XML")) << ui::Narrow(error);
  // MSXML on Windows reports where; Wine's reports no position at all.
  EXPECT_TRUE(!Has(error, L" 行") || Has(error, L"第 4 行") || Has(error, L"第 5 行"))
      << ui::Narrow(error);
  EXPECT_FALSE(Has(error, L"第 0 行")) << ui::Narrow(error);
  EXPECT_EQ(Form->ListView1->Count(), 0);
}

TEST_F(CatalogueLoadFailure, DoctypeIsRefusedBeforeParsing) {
  // An external entity aimed at a local file: it must never be resolved.
  Serve(
      "<?xml version=\"1.0\"?>\n<!DOCTYPE plug [<!ENTITY secret SYSTEM "
      "\"file:///c:/windows/win.ini\">]>\n<plug><Item plugName=\"&secret;\" plugid=\"1\" "
      "plugfolder=\"f\" plugdescribe=\"d\" plugauthor=\"a\"/></plug>");
  EXPECT_TRUE(Has(LoadAndExpectOneError(), L"DOCTYPE"));
  EXPECT_EQ(Form->ListView1->Count(), 0);
}

TEST_F(CatalogueLoadFailure, OversizedIsRefused) {
  // Announced too large, and too large with no Content-Length at all.
  std::string huge = "<plug>" + std::string(catalogue::kMaxCatalogueBytes, ' ') + "</plug>";
  Serve(huge);
  EXPECT_TRUE(Has(LoadAndExpectOneError(), L"KiB"));
  Boxes.clear();
  Server->SetFault("/Data.xml", {.NoContentLength = true});
  EXPECT_TRUE(Has(LoadAndExpectOneError(), L"KiB"));
}

// A catalogue is loaded only with the publisher's signature of exactly its bytes.
TEST_F(CatalogueLoadFailure, UnsignedOrTamperedIsRefused) {
  if (!signing::Verifies()) GTEST_SKIP() << "this build verifies nothing";
  std::string xml = CatalogueXml(kChineseCatalogue);
  std::string signature = testserver::SignForTests(xml).value();
  std::string tampered = xml;
  tampered[tampered.find("Dragon")] = 'd';
  Serve(tampered);
  Server->SetBody("/Data.xml.sig", signature);
  EXPECT_TRUE(Has(LoadAndExpectOneError(), L"簽章不符"));
  for (const std::string& wrongSize : {signature.substr(0, 63), signature + "x", std::string()}) {
    Boxes.clear();
    Serve(xml);
    Server->SetBody("/Data.xml.sig", wrongSize);
    EXPECT_TRUE(Has(LoadAndExpectOneError(), L"格式錯誤"));
  }
  Boxes.clear();
  Server->SetFault("/Data.xml.sig", {.Status = 404});
  std::wstring missing = LoadAndExpectOneError();
  EXPECT_TRUE(Has(missing, L"簽章") && Has(missing, L"HTTP 404")) << ui::Narrow(missing);
  EXPECT_EQ(Form->ListView1->Count(), 0);
  // The same bytes with their own signature load.
  Boxes.clear();
  Server->RemoveBody("/Data.xml.sig");
  Server->ClearFaults();
  Form->Button3->Click();
  EXPECT_TRUE(Errors().empty());
  EXPECT_EQ(Form->ListView1->Count(), 4);
}

// A catalogue refused after a good one leaves the list, its states and the counts.
TEST_F(CatalogueLoadFailure, RefusedCatalogueChangesNothing) {
  Serve(CatalogueXml(kChineseCatalogue));
  Install(L"Quest");
  Form->Button3->Click();
  ASSERT_EQ(Form->ListView1->Count(), 4);
  auto before = Rows(*Form->ListView1);
  struct TRefused {
    std::string Xml;
    const wchar_t* Says;
  } refused[] = {
      {"<plug>" + ItemXml(kChineseCatalogue[0]) + ItemXml(kChineseCatalogue[1]) +
           "<Item plugName=\"x\" plugid=\"1\" plugdescribe=\"d\" plugauthor=\"a\"/>" +
           ItemXml(kChineseCatalogue[2]) + "</plug>",
       L"第 3 項"},
      {"<plug>\n" + ItemXml(kChineseCatalogue[0]) + "\n<!-- 下架 -->\n" +
           ItemXml(kChineseCatalogue[1]) + "\n</plug>",
       L"第 2 項"},
      {"<plug><Item", L"XML"},
  };
  for (const TRefused& catalogue : refused) {
    Boxes.clear();
    RefreshClicks = 0;
    Serve(catalogue.Xml);
    std::wstring error = LoadAndExpectOneError();
    EXPECT_TRUE(Has(error, catalogue.Says)) << ui::Narrow(error);
    EXPECT_EQ(Rows(*Form->ListView1), before);
    EXPECT_EQ(Form->Label10->Caption(), L"4");
    EXPECT_EQ(Form->Label12->Caption(), L"1");
  }
}

}  // namespace
