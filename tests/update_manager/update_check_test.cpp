// Check for updates through the window against loopback sites: the column,
// the latest-known flag, the self-update question and the quit, the progress
// dialog while the check runs, and Cancel of a transfer that hangs.
#include <QAction>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "tests/update_manager/ordwin_test_support.h"
#include "update_client/progress.h"
#include "update_manager/ordwin_strings.h"

namespace ordwin_test {
namespace {

const std::string kNewOrdwin = OrdwinString(IDS_NEW_ORDWIN_AVAILABLE);

class UpdateCheckTest : public OrdwinTest {
 protected:
  CProgress* ProgressDialog() const {
    return app_->MainFrame()->findChild<CProgress*>(QStringLiteral("progressDialog"));
  }
};

TEST_F(UpdateCheckTest, CheckFillsTheColumnAndSetsTheFlag) {
  ReferenceSite site(kSampleManifest);
  WriteIniNoOffer(site.Host());
  Start();
  Trigger("actionCheckForUpdates");

  EXPECT_TRUE(View().LatestKnown());
  // Products the site does not report get an empty cell.
  const QStringList versions = {"4.3.1", "7.2", "", "1.9", "", "3.1", "5.0 beta", "2026.12"};
  for (int i = 0; i < versions.size(); ++i) EXPECT_EQ(Cell(i, 1), versions[i]) << i;
  EXPECT_TRUE(boxes_.asked.empty()) << "the site reports 1.1 for Ordwin: no question";
  EXPECT_EQ(ProgressDialog(), nullptr) << "the dialog goes with the check";
  EXPECT_TRUE(Find<QAction>("actionCheckForUpdates")->isEnabled());
}

TEST_F(UpdateCheckTest, StartupOfferYesRunsTheCheck) {
  ReferenceSite site(kSampleManifest);
  WriteIni(site.Host());
  boxes_.answers = {BoxAnswer::Yes};
  Start();
  EXPECT_TRUE(View().LatestKnown());
  EXPECT_EQ(Cell(0, 1), "4.3.1");
}

// The self-update question comes exactly when Ordwin's own section holds
// another version than 1.1, byte for byte.
TEST_F(UpdateCheckTest, SelfUpdateQuestionByOwnVersion) {
  struct Case {
    const char* what;
    const char* reply;
    bool asked;
  };
  const Case cases[] = {
      {"same version", "<!-- OW version=\"1.1\" link=\"http://d.test/o.exe\" -->", false},
      {"older version", "<!-- OW version=\"1.0\" link=\"http://d.test/o.exe\" -->", true},
      {"newer version", "<!-- OW version=\"1.2\" link=\"http://d.test/o.exe\" -->", true},
      {"empty version", "<!-- OW version=\"\" link=\"http://d.test/o.exe\" -->", true},
      {"leading blank", "<!-- OW version=\" 1.1\" link=\"http://d.test/o.exe\" -->", true},
      {"no section for Ordwin", "<!-- KVSL version=\"2\" link=\"http://d.test/k.exe\" -->", false},
      {"empty reply", "", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RawSite site(c.reply);
    WriteIniNoOffer(site.Host());
    table_ = CProductTable();
    boxes_.asked.clear();
    if (c.asked) boxes_.answers = {BoxAnswer::No};
    Start();
    Trigger("actionCheckForUpdates");
    ASSERT_EQ(boxes_.asked.size(), c.asked ? 1u : 0u);
    if (c.asked) {
      EXPECT_EQ(boxes_.asked[0].text, kNewOrdwin);
      EXPECT_EQ(boxes_.asked[0].buttons, BoxButtons::YesNo);
      EXPECT_EQ(boxes_.asked[0].icon, BoxIcon::Information);
    }
    EXPECT_TRUE(View().LatestKnown());
    EXPECT_TRUE(app_->MainFrame()->isVisible()) << "No keeps Ordwin running";
    app_.reset();
  }
  EXPECT_TRUE(launches_.Launched().empty());
}

TEST_F(UpdateCheckTest, QuestionAsksAgainOnTheNextCheck) {
  RawSite site("<!-- OW version=\"1.2\" link=\"http://d.test/o.exe\" -->");
  WriteIniNoOffer(site.Host());
  boxes_.answers = {BoxAnswer::No, BoxAnswer::No};
  Start();
  Trigger("actionCheckForUpdates");
  Trigger("actionCheckForUpdates");
  EXPECT_EQ(boxes_.asked.size(), 2u);
}

// While the question is up the progress dialog still shows the last step; on
// Yes Ordwin's link is launched once and the program ends with code 0.
TEST_F(UpdateCheckTest, SelfUpdateYesLaunchesItsLinkAndQuits) {
  struct Case {
    const char* what;
    bool from_startup_offer;
  };
  for (const Case c : {Case{"from the menu", false}, Case{"from the start-up offer", true}}) {
    SCOPED_TRACE(c.what);
    RawSite site("<!-- OW version=\"1.2\" link=\"https://d.test/Ordwin%20Setup%201.2.exe\" -->");
    if (c.from_startup_offer) {
      WriteIni(site.Host());
      boxes_.answers = {BoxAnswer::Yes, BoxAnswer::Yes};
    } else {
      WriteIniNoOffer(site.Host());
      boxes_.answers = {BoxAnswer::Yes};
    }
    QString stepText;
    int stepPercent = -1;
    bool dialogShown = false;
    bool checkDisabled = false;
    boxes_.while_asked = [&](const ScriptedMessageBoxes::Asked& asked) {
      if (asked.text != kNewOrdwin) return;
      CProgress* progress = ProgressDialog();
      ASSERT_NE(progress, nullptr);
      dialogShown = progress->isVisible();
      stepText = progress->Text();
      stepPercent = progress->Percent();
      checkDisabled = !Find<QAction>("actionCheckForUpdates")->isEnabled();
    };
    table_ = CProductTable();
    Start();
    if (!c.from_startup_offer) Trigger("actionCheckForUpdates");

    EXPECT_TRUE(dialogShown);
    EXPECT_EQ(stepText, "Downloading update from Velmora server...");
    EXPECT_EQ(stepPercent, 80);
    EXPECT_TRUE(checkDisabled) << "no other command while the check runs";

    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    guard.start(5000);
    EXPECT_EQ(app_->Run(), 0);
    EXPECT_EQ(launches_.WaitFor(1),
              std::vector<std::string>{"https://d.test/Ordwin%20Setup%201.2.exe"});
    app_.reset();
    std::filesystem::remove(config_.Path() / "launched.log");
  }
}

TEST_F(UpdateCheckTest, UnreachableSiteChangesNothingAndAsksNothing) {
  testing_support::RefusingPort port;
  WriteIniNoOffer(port.Host());
  Start();
  table_[3].latest_version = "kept";
  Trigger("actionCheckForUpdates");
  EXPECT_TRUE(boxes_.asked.empty());
  EXPECT_TRUE(View().LatestKnown()) << "an empty reply sets the flag all the same";
  EXPECT_EQ(Cell(0, 1), "");
  EXPECT_EQ(Cell(2, 1), "kept");
  EXPECT_EQ(table_[0].latest_version, "1.1");
}

// Cancel, the close box and Esc stop a transfer to a server that never
// answers, long before its time-outs; the check then ends like a failed one.
TEST_F(UpdateCheckTest, CancelStopsAStalledTransfer) {
  struct Case {
    const char* what;
    std::function<void(CProgress&)> cancel;
  };
  const Case cases[] = {
      {"Cancel button",
       [](CProgress& p) { p.findChild<QPushButton*>(QStringLiteral("cancelButton"))->click(); }},
      {"close box", [](CProgress& p) { p.close(); }},
      {"Esc", [](CProgress& p) { QTest::keyClick(&p, Qt::Key_Escape); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    testing_support::StallingPort port;
    WriteIniNoOffer(port.Host());
    table_ = CProductTable();
    Start();

    int dialogs = -1;
    bool modal = false;
    QString textBeforeCancel;
    QTimer::singleShot(300, [&] {
      CProgress* progress = ProgressDialog();
      ASSERT_NE(progress, nullptr);
      modal = QApplication::activeModalWidget() == progress;
      textBeforeCancel = progress->Text();
      View().CheckForUpdates();  // a second check is refused while one runs
      dialogs = static_cast<int>(app_->MainFrame()->findChildren<CProgress*>().size());
      c.cancel(*progress);
    });
    QElapsedTimer timer;
    timer.start();
    Trigger("actionCheckForUpdates");
    EXPECT_LT(timer.elapsed(), 8000) << "the connect time-out is 10 s, the whole one 30 s";
    EXPECT_TRUE(modal) << "the progress dialog holds every other window off";
    EXPECT_EQ(dialogs, 1);
    EXPECT_FALSE(textBeforeCancel.isEmpty());
    EXPECT_TRUE(View().LatestKnown());
    EXPECT_EQ(Cell(0, 1), "");
    EXPECT_TRUE(boxes_.asked.empty());
    EXPECT_EQ(ProgressDialog(), nullptr);
    app_.reset();
  }
}

}  // namespace
}  // namespace ordwin_test
