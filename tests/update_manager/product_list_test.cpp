// The product list after and before a check: the install button's state, the
// clicks on cells, Install Newest Versions, and the link label.
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>
#include <unistd.h>

#include "tests/update_manager/ordwin_test_support.h"
#include "update_manager/link_label.h"
#include "update_manager/ordwin_strings.h"

namespace ordwin_test {
namespace {

const std::string kDownloadNewest = OrdwinString(IDS_DOWNLOAD_NEWEST);

class ProductListTest : public OrdwinTest {
 protected:
  void StartWithSite() {
    site_ = std::make_unique<ReferenceSite>(kSampleManifest);
    WriteIniNoOffer(site_->Host());
    Start();
  }
  QPushButton* Install() const { return Find<QPushButton>("installButton"); }
  QTreeWidget* List() const { return Find<QTreeWidget>("productList"); }
  // Proves that nothing was launched before: a launch of the product page,
  // then exactly that one address on record.
  void ExpectNothingLaunched() {
    View().OpenProductPage();
    EXPECT_EQ(launches_.WaitFor(1),
              std::vector<std::string>{"http://www.velmora.test/products.htm"});
  }

  std::unique_ptr<ReferenceSite> site_;
};

// The button is enabled exactly while the latest versions are known and at
// least one row is ticked; selection and focus changes never move it.
TEST_F(ProductListTest, InstallButtonFollowsFlagAndTicks) {
  StartWithSite();
  enum Step { kTick, kUntick, kSelect, kKeyDown, kSpace, kCheck };
  struct Case {
    const char* what;
    Step step;
    int item;
    bool enabled;
    std::uint32_t mask;
  };
  const Case cases[] = {
      {"tick before any check", kTick, 2, false, 0x4},
      {"select another row before a check", kSelect, 5, false, 0x4},
      {"check for updates with a row ticked", kCheck, 0, true, 0x4},
      {"untick the only ticked row", kUntick, 2, false, 0x0},
      {"select a row", kSelect, 3, false, 0x0},
      {"move the selection with the keyboard", kKeyDown, 0, false, 0x0},
      {"tick the last row", kTick, 7, true, 0x80},
      {"tick the first row", kTick, 0, true, 0x81},
      {"select a ticked row", kSelect, 0, true, 0x81},
      {"move the selection with the keyboard", kKeyDown, 0, true, 0x81},
      {"untick one of two", kUntick, 7, true, 0x1},
      {"tick the current row with the space bar", kSpace, 1, true, 0x3},
      {"untick it with the space bar", kSpace, 1, true, 0x1},
      {"check again", kCheck, 0, true, 0x1},
      {"untick the last one", kUntick, 0, false, 0x0},
  };
  for (const Case& c : cases) {
    switch (c.step) {
      case kTick:
      case kUntick:
        ASSERT_EQ(Ticked(c.item), c.step == kUntick) << c.what;
        ClickTickBox(c.item);
        ASSERT_EQ(Ticked(c.item), c.step == kTick) << c.what;
        break;
      case kSelect:
        ClickCell(c.item, COrdwinView::kColumnProgram);
        ASSERT_TRUE(List()->topLevelItem(c.item)->isSelected()) << c.what;
        break;
      case kKeyDown:
        List()->setFocus();
        QTest::keyClick(List(), Qt::Key_Down);
        break;
      case kSpace:
        List()->setFocus();
        List()->setCurrentItem(List()->topLevelItem(c.item));
        QTest::keyClick(List(), Qt::Key_Space);
        break;
      case kCheck: Trigger("actionCheckForUpdates"); break;
    }
    EXPECT_EQ(Install()->isEnabled(), c.enabled) << c.what;
    EXPECT_EQ(View().TickedMask(), c.mask) << c.what;
  }
  EXPECT_TRUE(boxes_.asked.empty()) << "clicks on tick boxes and names ask nothing";
}

// Ticks survive a check: the versions come in, the rows stay as they were.
TEST_F(ProductListTest, TicksAndSelectionSurviveACheck) {
  StartWithSite();
  ClickTickBox(4);
  ClickCell(6, COrdwinView::kColumnProgram);
  Trigger("actionCheckForUpdates");
  EXPECT_TRUE(Ticked(4));
  EXPECT_TRUE(List()->topLevelItem(6)->isSelected());
  EXPECT_EQ(Cell(4, 1), "");
}

// A refill after a check shows the learned versions again, with fresh rows:
// nothing ticked, so no stale bit can enable the button.
TEST_F(ProductListTest, RefillAfterACheckKeepsTheVersions) {
  StartWithSite();
  Trigger("actionCheckForUpdates");
  ClickTickBox(1);
  ClickTickBox(5);
  ASSERT_TRUE(Install()->isEnabled());
  View().OnUpdate();
  EXPECT_EQ(Cell(0, 1), "4.3.1");
  EXPECT_EQ(Cell(7, 1), "2026.12");
  EXPECT_FALSE(Ticked(1));
  EXPECT_EQ(View().TickedMask(), 0u);
  EXPECT_FALSE(Install()->isEnabled());
}

TEST_F(ProductListTest, InstallLaunchesTickedLinksInListOrder) {
  StartWithSite();
  Trigger("actionCheckForUpdates");
  for (int item : {6, 0, 3}) ClickTickBox(item);  // ticked out of order
  ASSERT_TRUE(Install()->isEnabled());

  boxes_.answers = {BoxAnswer::No};
  QTest::mouseClick(Install(), Qt::LeftButton);
  ASSERT_EQ(boxes_.asked.size(), 1u);
  EXPECT_EQ(boxes_.asked[0].text, kDownloadNewest);
  EXPECT_EQ(boxes_.asked[0].buttons, BoxButtons::YesNo);
  EXPECT_EQ(boxes_.asked[0].icon, BoxIcon::Question);
  ExpectNothingLaunched();

  boxes_.answers = {BoxAnswer::Yes};
  QTest::mouseClick(Install(), Qt::LeftButton);
  EXPECT_EQ(
      launches_.WaitFor(4),
      (std::vector<std::string>{"http://www.velmora.test/products.htm",
                                "https://downloads.velmora.test/kvsl/KVSLSetup-4.3.1.exe",
                                "https://downloads.velmora.test/qel/QELSetup-1.9.exe",
                                "https://downloads.velmora.test/ashby/Ashby%20Setup%205.0.exe"}));
}

// A ticked product the site did not report has no link: nothing is handed
// to the desktop for it, the others still are.
TEST_F(ProductListTest, InstallSkipsProductsWithoutALink) {
  StartWithSite();
  Trigger("actionCheckForUpdates");
  ClickTickBox(2);  // Pellor Marlo: not on the site
  ClickTickBox(1);
  boxes_.answers = {BoxAnswer::Yes};
  QTest::mouseClick(Install(), Qt::LeftButton);
  View().OpenProductPage();
  EXPECT_EQ(launches_.WaitFor(2),
            (std::vector<std::string>{"https://downloads.velmora.test/pellor/PellorSetup-7.2.exe",
                                      "http://www.velmora.test/products.htm"}));
}

TEST_F(ProductListTest, ClicksOnCells) {
  StartWithSite();
  // Before a check no click asks anything.
  ClickCell(1, COrdwinView::kColumnLatestVersion);
  EXPECT_TRUE(boxes_.asked.empty());

  Trigger("actionCheckForUpdates");
  ClickCell(1, COrdwinView::kColumnProgram);
  ClickTickBox(1);
  // Below the last row, in the "Latest Version" column.
  const QRect last = CellRect(7, COrdwinView::kColumnLatestVersion);
  ASSERT_LT(last.bottom() + 10, List()->viewport()->height());
  QTest::mouseClick(List()->viewport(), Qt::LeftButton, {},
                    QPoint(last.center().x(), last.bottom() + 8));
  // Right of the last column.
  QTest::mouseClick(List()->viewport(), Qt::LeftButton, {},
                    QPoint(last.right() + 20, last.center().y()));
  EXPECT_TRUE(boxes_.asked.empty());

  // A "Latest Version" cell of a row that is not selected asks for that product.
  ASSERT_FALSE(List()->topLevelItem(6)->isSelected());
  boxes_.answers = {BoxAnswer::No};
  ClickCell(6, COrdwinView::kColumnLatestVersion);
  ASSERT_EQ(boxes_.asked.size(), 1u);
  EXPECT_EQ(boxes_.asked[0].text, kDownloadNewest);
  boxes_.answers = {BoxAnswer::Yes, BoxAnswer::Yes};
  ClickCell(7, COrdwinView::kColumnLatestVersion);
  ClickCell(0, COrdwinView::kColumnLatestVersion);
  EXPECT_EQ(boxes_.asked.size(), 3u);
  EXPECT_EQ(
      launches_.WaitFor(2),
      (std::vector<std::string>{"https://downloads.velmora.test/nerith/NerithLibrary-2026.12.exe",
                                "https://downloads.velmora.test/kvsl/KVSLSetup-4.3.1.exe"}));
}

// A hostile update site: links without a host, with blanks, line breaks,
// escape bytes or other schemes reach the desktop by none of the three ways a
// link is opened (Install, a "Latest Version" cell, the self-update's Yes).
TEST_F(ProductListTest, LinksFromAHostileSiteAreNeverLaunched) {
  RawSite site(
      "<!-- OW version=\"9\" link=\"file:///etc/passwd\" -->\n"
      "<!-- KVSL version=\"1\" link=\"http://\" -->\n"
      "<!-- Pellor version=\"1\" link=\"http://x.example/a b.exe\" -->\n"
      "<!-- Pellor Marlo version=\"1\" link=\"http://x.example/a\nb.exe\" -->\n"
      "<!-- QEL version=\"1\" link=\"http://x.example/\x1b]2;owned\x07.exe\" -->\n"
      "<!-- WZ version=\"1\" link=\"javascript:alert(1)\" -->\n"
      "<!-- TINDLE version=\"1\" link=\"http:///x.example/t.exe\" -->\n"
      "<!-- Pellor Ashby version=\"1\" link=\"\thttp://x.example/t.exe\" -->\n"
      "<!-- Nerith version=\"2\" link=\"https://downloads.velmora.test/n.exe\" -->\n");
  WriteIniNoOffer(site.Host());
  Start();
  boxes_.answers = {BoxAnswer::No};
  Trigger("actionCheckForUpdates");
  ASSERT_EQ(boxes_.asked.size(), 1u) << "Ordwin's own version differs";

  for (int item = 0; item < 8; ++item) ClickTickBox(item);
  boxes_.answers = {BoxAnswer::Yes};
  QTest::mouseClick(Install(), Qt::LeftButton);
  for (int item = 0; item < 7; ++item) {
    boxes_.answers = {BoxAnswer::Yes};
    ClickCell(item, COrdwinView::kColumnLatestVersion);
  }
  boxes_.answers = {BoxAnswer::Yes};
  Trigger("actionCheckForUpdates");  // the self-update question, answered Yes
  EXPECT_EQ(boxes_.asked.size(), 10u);
  View().OpenProductPage();
  EXPECT_EQ(launches_.WaitFor(2),
            (std::vector<std::string>{"https://downloads.velmora.test/n.exe",
                                      "http://www.velmora.test/products.htm"}));
  ::usleep(200 * 1000);
  EXPECT_EQ(launches_.Launched().size(), 2u);
}

TEST_F(ProductListTest, LinkLabelOpensTheProductPage) {
  StartWithSite();
  // Before any check, with no site contact.
  QTest::mouseClick(Find<QLabel>("productLineCaption"), Qt::LeftButton);
  QTest::mouseClick(Find<CLinkLabel>("productLink"), Qt::LeftButton);
  EXPECT_EQ(launches_.WaitFor(1), std::vector<std::string>{"http://www.velmora.test/products.htm"});
  EXPECT_FALSE(View().LatestKnown());
}

TEST_F(ProductListTest, LinkLabelLooksLikeALink) {
  StartWithSite();
  auto* link = Find<CLinkLabel>("productLink");
  const QColor normal = link->palette().color(QPalette::WindowText);
  ASSERT_NE(normal, QColor(0, 0, 255));
  EXPECT_EQ(link->cursor().shape(), Qt::PointingHandCursor);
  EXPECT_EQ(View().cursor().shape(), Qt::ArrowCursor);
  EXPECT_TRUE(link->font().italic());
  EXPECT_TRUE(link->font().underline());
  EXPECT_EQ(link->font().family(), "Arial");
  EXPECT_LE(QFontMetrics(link->font()).height(), 16);
  EXPECT_EQ(link->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);

  // Hover cycle: blue from the first movement until the pointer leaves.
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    EXPECT_FALSE(link->Hovering());
    QTest::mouseMove(link, link->rect().center());
    ASSERT_TRUE(SpinUntil([&] { return link->Hovering(); }));
    EXPECT_EQ(link->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    QTest::mouseMove(link, link->rect().center() + QPoint(3, 1));
    EXPECT_TRUE(link->Hovering());
    QTest::mouseMove(Find<QTreeWidget>("productList"));
    ASSERT_TRUE(SpinUntil([&] { return !link->Hovering(); }));
    EXPECT_EQ(link->palette().color(QPalette::WindowText), normal);
  }
}

}  // namespace
}  // namespace ordwin_test
