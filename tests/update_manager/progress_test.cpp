// The connection progress dialog: what it shows at each step of a real
// transfer, and Cancel of a transfer that hangs.
#include <QAccessible>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include "tests/update_client/loopback.h"
#include "tests/update_manager/ordwin_test_support.h"
#include "update_client/progress.h"
#include "update_client/update_session.h"
#include "update_client/update_site.h"
#include "update_manager/check_progress.h"
#include "update_manager/ordwin_strings.h"

namespace ordwin_test {
namespace {

using testing_support::Step;

// The dialog of a check, noting what it showed after every step.
class WatchedProgress : public CProgress, public CheckProgress {
 public:
  struct Seen {
    Step step;
    QString text;
    int bar;
    bool visible;
  };
  WatchedProgress() : CheckProgress(static_cast<CProgress&>(*this)) {}
  void OnPhase(TransferPhase phase, std::size_t bytes) override {
    CheckProgress::OnPhase(phase, bytes);
    const ProgressStep step = ProgressStepOf(phase);
    seen.push_back({{step.string_id, step.percent}, Text(), Percent(), isVisible()});
  }
  std::vector<Seen> seen;
};

std::vector<Step> Steps(const std::vector<WatchedProgress::Seen>& seen) {
  std::vector<Step> steps;
  for (const auto& s : seen) steps.push_back(s.step);
  return steps;
}

bool Contains(const std::vector<Step>& steps, unsigned id) {
  return std::any_of(steps.begin(), steps.end(), [id](const Step& s) { return s.first == id; });
}

TEST(Progress, NewDialogIsEmptyAndShown) {
  CProgress progress;
  EXPECT_TRUE(progress.isVisible());
  EXPECT_EQ(progress.windowTitle(), "Connecting to Velmora...");
  EXPECT_EQ(progress.Text(), "");
  EXPECT_EQ(progress.Percent(), 0);
  auto* cancel = progress.findChild<QPushButton*>(QStringLiteral("cancelButton"));
  ASSERT_NE(cancel, nullptr);
  EXPECT_EQ(cancel->text(), "Cancel");
  EXPECT_TRUE(cancel->isDefault());
  EXPECT_NE(progress.findChild<QProgressBar*>(QStringLiteral("progressBar")), nullptr);
  EXPECT_EQ(progress.windowModality(), Qt::ApplicationModal);
}

// A screen reader hears each phase: through the accessibility interface the
// step line is named by the visible step text, not by a fixed word; a step
// without a text keeps the name with the text.
TEST(Progress, TheStepLineIsNamedByItsStepForAssistiveTechnology) {
  CProgress progress;
  CheckProgress check(progress);
  auto* line = progress.findChild<QLabel*>(QStringLiteral("progressText"));
  ASSERT_NE(line, nullptr);
  QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(line);
  ASSERT_NE(accessible, nullptr);
  const Step steps[] = {{IDS_STEP_COMMUNICATING, 20},
                        {IDS_STEP_FINDING, 5},
                        {IDS_STEP_CONNECTED, 20},
                        {99999, 30},
                        {IDS_STEP_DOWNLOADING, 80}};
  for (const Step& step : steps) {
    SCOPED_TRACE(step.first);
    check.SetStep(step.first, step.second);
    ASSERT_FALSE(progress.Text().isEmpty());
    EXPECT_EQ(accessible->text(QAccessible::Name), progress.Text());
  }
}

// Counts the paint events a widget gets.
class PaintCounter : public QObject {
 public:
  int paints = 0;
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++paints;
    return false;
  }
};

// The transfer blocks the event loop between its polls, so every step is drawn
// before SetStep returns.
TEST(Progress, EveryStepIsPaintedAtOnce) {
  CProgress progress;
  CheckProgress steps(progress);
  PaintCounter counter;
  progress.findChild<QLabel*>(QStringLiteral("progressText"))->installEventFilter(&counter);
  progress.findChild<QProgressBar*>(QStringLiteral("progressBar"))->installEventFilter(&counter);
  for (unsigned id : {IDS_STEP_COMMUNICATING, IDS_STEP_CONNECTING, IDS_STEP_DOWNLOADING}) {
    const int before = counter.paints;
    steps.SetStep(id, 40);
    EXPECT_GE(counter.paints, before + 2) << id;  // text line and bar, without an event loop
  }
}

TEST(Progress, StepsAreAbsoluteAndAMissingTextStays) {
  CProgress progress;
  CheckProgress steps(progress);
  steps.SetStep(IDS_STEP_COMMUNICATING, 20);
  EXPECT_EQ(progress.Text(), "Communicating with Velmora Update Site...");
  EXPECT_EQ(progress.Percent(), 20);
  steps.SetStep(IDS_STEP_FINDING, 5);  // the bar moves back
  EXPECT_EQ(progress.Text(), "Finding Velmora...");
  EXPECT_EQ(progress.Percent(), 5);
  steps.SetStep(9999, 45);  // no such string
  EXPECT_EQ(progress.Text(), "Finding Velmora...");
  EXPECT_EQ(progress.Percent(), 45);
  EXPECT_EQ(progress.findChild<QLabel*>(QStringLiteral("progressText"))->text(), progress.Text());
}

// What the dialog showed during real transfers: it is on screen throughout,
// its text line and bar show every step, and whatever happened the transfer
// ends with IDS_STEP_RECEIVING at 50 and IDS_STEP_DOWNLOADING at 80.
TEST(Progress, StepsOfReachableAndUnreachableSites) {
  testing_support::ScopedConfigFolder config;
  ReferenceSite site(kSampleManifest);
  testing_support::RefusingPort refusing;
  struct Case {
    const char* what;
    std::string host;
    bool connects;
    bool reply;
  };
  const Case cases[] = {
      {"reachable", site.Host(), true, true},
      {"connection refused", refusing.Host(), false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WatchedProgress progress;
    std::string reply;
    {
      CUpdateSession session(&progress);
      reply = FetchUpdateSite(session, UpdateSiteUrl(kLatestVersionsAction, c.host));
      session.Close();
    }
    EXPECT_EQ(!reply.empty(), c.reply);
    const std::vector<Step> steps = Steps(progress.seen);
    ASSERT_GE(steps.size(), 3u);
    EXPECT_EQ(steps.front(), Step(IDS_STEP_COMMUNICATING, 20));
    EXPECT_EQ(steps[steps.size() - 2], Step(IDS_STEP_RECEIVING, 50));
    EXPECT_EQ(steps.back(), Step(IDS_STEP_DOWNLOADING, 80));
    EXPECT_TRUE(Contains(steps, IDS_STEP_CONNECTING));
    EXPECT_EQ(Contains(steps, IDS_STEP_CONNECTED), c.connects);
    EXPECT_EQ(Contains(steps, IDS_STEP_RECEIVED), c.reply);
    for (const auto& s : progress.seen) {
      EXPECT_TRUE(s.visible);
      EXPECT_EQ(s.text, QString::fromStdString(OrdwinString(s.step.first)));
      EXPECT_EQ(s.bar, s.step.second);
    }
  }
}

// The transfer polls the dialog; Cancel ends a transfer to a server that
// accepts and never answers, and the closing steps still come.
TEST(Progress, CancelStopsAStalledTransfer) {
  testing_support::ScopedConfigFolder config;
  testing_support::StallingPort stalling;
  WatchedProgress progress;
  bool timerRan = false;
  QTimer::singleShot(200, [&] {
    timerRan = true;  // the poll runs the event loop while the transfer waits
    progress.findChild<QPushButton*>(QStringLiteral("cancelButton"))->click();
  });
  const auto start = std::chrono::steady_clock::now();
  CUpdateSession session(&progress);
  const std::string reply =
      FetchUpdateSite(session, UpdateSiteUrl(kLatestVersionsAction, stalling.Host()));
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_TRUE(timerRan);
  EXPECT_TRUE(progress.Cancelled());
  EXPECT_TRUE(progress.isVisible()) << "the dialog stays until the check ends";
  EXPECT_LT(elapsed, std::chrono::seconds(8)) << "well before the time-outs";
  EXPECT_TRUE(reply.empty());
  EXPECT_EQ(session.LastOutcome().failure, TransferFailure::kCancelled);
  const std::vector<Step> steps = Steps(progress.seen);
  ASSERT_GE(steps.size(), 2u);
  EXPECT_EQ(steps[steps.size() - 2], Step(IDS_STEP_RECEIVING, 50));
  EXPECT_EQ(steps.back(), Step(IDS_STEP_DOWNLOADING, 80));
  EXPECT_FALSE(progress.findChild<QPushButton*>(QStringLiteral("cancelButton"))->isEnabled());
}

}  // namespace
}  // namespace ordwin_test
