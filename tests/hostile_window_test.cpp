// A listing whose pager claims 2,147,483,647 pages, every numbered page failing
// fast: the walk goes on page after page, the window stays usable, and closing
// it ends the program at once with status 0.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <chrono>
#include <functional>
#include <string>

#include "app/handlers.h"
#include "app/main_window.h"
#include "fetch/fetch_page.h"
#include "tools/listing/listing_server.h"

namespace velmora {
namespace {

using namespace Qt::Literals::StringLiterals;

constexpr int kClaimedPages = 2147483647;

bool ServeUntil(const std::function<bool()>& done, int seconds = 60) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    QTest::qWait(5);
  }
  return true;
}

// The sample listing's first page with a pager naming `pages` pages; every
// numbered page answers 404 at once.
sample::ListingServer::Override HugePager(const sample::SampleListing& listing, int pages) {
  return [&listing, pages](const std::string& path) {
    std::optional<std::pair<int, std::string>> reply{{404, ""}};
    if (path == "/nn/") {
      std::string first = listing.FirstPage();
      const std::string pager = sample::PagerHtml(listing.pages());
      first.replace(first.find(pager), pager.size(), sample::PagerHtml(pages));
      reply = {{200, first}};
    }
    return reply;
  };
}

class HugePagerWindow : public ::testing::Test {
 protected:
  void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

TEST_F(HugePagerWindow, WalkGoesOnAndClosingEndsTheProgramAtOnce) {
  EXPECT_EXIT(
      {
        sample::SampleListing listing({.pages = 12, .rowsPerPage = 1});
        sample::ListingServer server(listing, 0, HugePager(listing, kClaimedPages));
        MainWindow window{Text(server.BaseUrl())};
        window.show();
        window.activateWindow();
        if (!QTest::qWaitForWindowActive(&window)) EndProgram(4);
        QTest::mouseClick(window.findChild<QPushButton*>(u"按钮1"_s), Qt::LeftButton);
        // The walk is under way: well past the first pages, each one failing.
        if (!ServeUntil([&] { return server.Paths().size() > 200; })) EndProgram(3);
        const std::vector<std::string> paths = server.Paths();
        if (paths[0] != "/nn/" || paths[1] != "/nn/1" || paths[200] != "/nn/200") EndProgram(5);
        // The window still answers: the label shows the walk, the table is empty.
        if (window.findChild<QLabel*>(u"标签1"_s)->text() != u"采集中......"_s) EndProgram(6);
        if (window.RowCount() != 0) EndProgram(7);
        QTimer::singleShot(0, &window, [&window] { QTest::keyClick(&window, Qt::Key_Escape); });
        EndProgram(QApplication::exec());
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace velmora

int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  velmora::InitializeFetch();
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
