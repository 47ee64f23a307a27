// The whole program in one process on the offscreen platform: Refresh walks a
// sample listing on 127.0.0.1 into the real window, and closing the window ends
// the program with status 0 whatever the workers are doing.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <thread>

#include "tests/support/gui_test.h"
#include "tests/support/loopback.h"
#include "app/handlers.h"
#include "app/main_window.h"
#include "app/qt_text.h"
#include "fetch/fetch_page.h"
#include "text/charset.h"
#include "tools/listing/listing_server.h"

namespace velmora {
namespace {

using namespace Qt::Literals::StringLiterals;

// Serves events until `done` holds; false if it never did within the bound.
using testing::ServeUntil;

QString Caption(MainWindow& window) {
  return window.findChild<QLabel*>(u"标签1"_s)->text();
}

void PressRefresh(MainWindow& window) {
  QTest::mouseClick(window.findChild<QPushButton*>(u"按钮1"_s), Qt::LeftButton);
}

TEST(WindowCollect, RefreshFillsTheTableWithTheKeptRows) {
  sample::SampleListing listing({.pages = 12, .rowsPerPage = 40});
  sample::ListingServer server(listing);
  MainWindow window{Text(server.BaseUrl())};
  window.show();
  PressRefresh(window);
  ASSERT_TRUE(ServeUntil([&] { return Caption(window) == u"采集完毕！"_s; }));

  const auto& kept = listing.KeptRows();
  ASSERT_EQ(window.RowCount(), static_cast<int>(kept.size()));
  for (int r = 0; r < window.RowCount(); ++r) {
    const auto& row = kept[static_cast<std::size_t>(r)];
    const std::string want[8] = {std::to_string(r + 1), row.ip,    row.port,        row.location,
                                 row.type,              row.speed, row.connectTime, row.verified};
    for (int c = 0; c < 8; ++c) {
      EXPECT_EQ(GbkToUtf8(window.GetCellText(r, c).view()), want[c]) << r << "," << c;
    }
  }
}

// A listening socket that never accepts: a fetch from it connects, sends its
// request and waits for an answer that never comes.
class SilentServer {
 public:
  SilentServer() : fd_(testing::ListenOnLoopback(port_)) {}
  ~SilentServer() { close(fd_); }
  std::string BaseUrl() const { return "http://127.0.0.1:" + std::to_string(port_) + "/nn/"; }
  // True once a client's connection waits to be accepted.
  bool HasPendingConnection() const {
    pollfd p{fd_, POLLIN, 0};
    return poll(&p, 1, 0) == 1;
  }

 private:
  int port_ = 0;  // set by the listening socket, so declared before it
  int fd_;
};

// Runs the program's event loop with `window` shown until it closes, then ends
// the process the way the program does. `closeWhen` is served first; then
// `beforeClose` runs on the window's thread and the window is closed by Esc.
[[noreturn]] void RunUntilEscape(MainWindow& window, const std::function<bool()>& closeWhen,
                                 const std::function<void()>& beforeClose = [] {}) {
  window.show();
  window.activateWindow();
  if (!QTest::qWaitForWindowActive(&window)) EndProgram(4);
  PressRefresh(window);
  PressRefresh(window);  // two workers, as two presses give
  if (!ServeUntil(closeWhen)) EndProgram(3);
  QTimer::singleShot(0, &window, [&window, beforeClose] {
    beforeClose();
    QTest::keyClick(&window, Qt::Key_Escape);
  });
  EndProgram(QApplication::exec());
}

class WindowClose : public ::testing::Test {
 protected:
  void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

TEST_F(WindowClose, EndsTheProgramInTheMiddleOfAWalk) {
  EXPECT_EXIT(
      {
        sample::SampleListing listing({.pages = 300, .rowsPerPage = 100});
        sample::ListingServer server(listing);
        MainWindow window{Text(server.BaseUrl())};
        RunUntilEscape(window, [&] { return window.RowCount() > 50; });
      },
      ::testing::ExitedWithCode(0), "");
}

TEST_F(WindowClose, EndsTheProgramWhileWorkersWaitForTheWindow) {
  EXPECT_EXIT(
      {
        sample::SampleListing listing({.pages = 300, .rowsPerPage = 100});
        sample::ListingServer server(listing);
        MainWindow window{Text(server.BaseUrl())};
        // The window's thread stops serving for a while, so both workers are
        // left blocked in a table operation when the window closes.
        RunUntilEscape(
            window, [&] { return window.RowCount() > 0; },
            [] { std::this_thread::sleep_for(std::chrono::milliseconds(300)); });
      },
      ::testing::ExitedWithCode(0), "");
}

TEST_F(WindowClose, EndsTheProgramWhileAFetchWaitsForAnAnswer) {
  EXPECT_EXIT(
      {
        SilentServer silent;
        MainWindow window{Text(silent.BaseUrl())};
        RunUntilEscape(window, [&] { return silent.HasPendingConnection(); });
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace velmora

int main(int argc, char** argv) { return velmora::testing::RunGuiTests(argc, argv); }
