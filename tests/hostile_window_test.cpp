// The real window under load and under a hostile pager: five workers at once on
// the sample listing; a pager that claims 2,147,483,647 pages, every numbered
// page failing fast, where the walk goes on page after page, the window stays
// usable, and closing it ends the program at once with status 0.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <array>
#include <chrono>
#include <filesystem>
#include <functional>
#include <cstdio>
#include <set>
#include <string>

#include "tests/support/gui_test.h"
#include "app/handlers.h"
#include "app/main_window.h"
#include "fetch/fetch_page.h"
#include "text/charset.h"
#include "tests/support/memory_window.h"
#include "tools/listing/listing_server.h"

namespace velmora {
namespace {

using namespace Qt::Literals::StringLiterals;

constexpr int kClaimedPages = 2147483647;

using testing::ServeUntil;

std::string ThreadName(const std::filesystem::path& task) {
  std::FILE* file = std::fopen((task / "comm").c_str(), "r");
  if (!file) return {};
  char name[64] = {};
  if (!std::fgets(name, sizeof name, file)) name[0] = '\0';
  std::fclose(file);
  return name;
}

// The threads of this process that bear the main thread's name, as the workers'
// threads do (Qt names its own, and its idle pool threads linger); a worker's
// thread is gone once it has finished.
std::size_t ThreadCount() {
  const std::string mainName = ThreadName("/proc/self");
  std::size_t count = 0;
  for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
    if (ThreadName(task.path()) == mainName) ++count;
  }
  return count;
}

// Rows written across another worker's emptying may mix cells of different rows,
// so each cell is checked on its own against its column's values among the kept rows.
TEST(WindowLoad, FiveWorkersAtOnceAllFinish) {
  constexpr int kWorkers = 5;
  sample::SampleListing listing({.pages = 12, .rowsPerPage = 40});
  sample::ListingServer server(listing);
  ASSERT_TRUE(server.ok());
  MainWindow window{Text(server.BaseUrl())};
  window.show();
  // One fetch first, so the server's own threads are all up before they are counted.
  ASSERT_FALSE(FetchPage(Text(server.BaseUrl())).empty());
  const std::size_t threadsBefore = ThreadCount();
  auto* refresh = window.findChild<QPushButton*>(u"按钮1"_s);
  for (int w = 0; w < kWorkers; ++w) QTest::mouseClick(refresh, Qt::LeftButton);

  const std::size_t requests = static_cast<std::size_t>(kWorkers * (listing.pages() + 1) + 1);
  ASSERT_TRUE(ServeUntil([&] {
    return server.Paths().size() == requests && ThreadCount() <= threadsBefore;
  }));
  EXPECT_EQ(window.findChild<QLabel*>(u"标签1"_s)->text(), u"采集完毕！"_s);

  const auto& kept = listing.KeptRows();
  const auto allowed = AllowedCellValues(listing, kWorkers);
  const int rows = window.RowCount();
  EXPECT_GE(rows, static_cast<int>(kept.size()));  // the last to empty the table adds all its rows
  EXPECT_LE(rows, static_cast<int>(kept.size()) * kWorkers);
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < 8; ++c) {
      const std::string cell = GbkToUtf8(window.GetCellText(r, c).view());
      EXPECT_TRUE(allowed[static_cast<std::size_t>(c)].count(cell)) << r << "," << c << ": " << cell;
    }
  }
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

int main(int argc, char** argv) { return velmora::testing::RunGuiTests(argc, argv); }
