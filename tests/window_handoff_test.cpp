// Operations handed from worker threads to the window's thread in bursts, and
// the rows of a burst announced to the view together at its end: the model's
// own counts stay exact at once, the view catches up before it paints again, a
// reset in the middle of a batch is clean, and workers are served inside a
// popup menu's loop.
#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QMenu>
#include <QScrollBar>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <functional>
#include <thread>

#include "tests/support/gui_test.h"
#include "app/main_window.h"
#include "app/proxy_table_model.h"
#include "app/window_thread.h"
#include "text/text.h"

namespace velmora {
namespace {

using namespace Qt::Literals::StringLiterals;

// Runs `work` on a thread of its own while this thread serves events; fails the
// test instead of hanging when the window's thread never carries it out.
void OnWorkerThread(const std::function<void()>& work) {
  std::atomic<bool> done = false;
  std::thread worker([&] {
    work();
    done = true;
  });
  const bool finished = QTest::qWaitFor([&] { return done.load(); }, 30000);
  worker.join();
  ASSERT_TRUE(finished) << "the worker's operations were never carried out";
}

// One operation handed over from a worker appends, clears and appends again:
// inside it nothing has been announced yet while the model's own count is
// exact; once the burst is over the view has the reset and then the last rows.
TEST(WindowHandOff, ResetInTheMiddleOfABatch) {
  ProxyTableModel model;
  QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
  int resets = 0, inserted = 0;
  QObject::connect(&model, &QAbstractItemModel::modelReset, [&] { ++resets; });
  QObject::connect(&model, &QAbstractItemModel::rowsInserted,
                   [&](const QModelIndex&, int first, int last) { inserted += last - first + 1; });
  int announcedInside = -1, exactInside = -1;
  OnWorkerThread([&] {
    RunOnWindowThread(model, [&] {
      for (int r = 0; r < 3; ++r) model.SetCell(model.AppendRow(), 1, "before");
      model.Clear();
      EXPECT_EQ(model.AppendRow(), 0);
      model.SetCell(0, 1, "after");
      EXPECT_EQ(model.AppendRow(), 1);
      announcedInside = model.rowCount();
      exactInside = model.RowCount();
    });
  });
  EXPECT_EQ(announcedInside, 0);
  EXPECT_EQ(exactInside, 2);
  EXPECT_EQ(resets, 1);
  EXPECT_EQ(inserted, 2);  // the rows before the reset were never announced
  ASSERT_EQ(model.rowCount(), 2);
  EXPECT_EQ(model.data(model.index(0, 1)).toString(), u"after"_s);
  EXPECT_EQ(model.Cell(1, 1), Text());
}

// Outside a handed-over operation a row is announced at once.
TEST(WindowHandOff, RowsAppendedOnTheWindowThreadAreAnnouncedAtOnce) {
  ProxyTableModel model;
  QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
  EXPECT_EQ(model.AppendRow(), 0);
  EXPECT_EQ(model.rowCount(), 1);
  model.SetCell(0, 2, "80");
  EXPECT_EQ(model.data(model.index(0, 2)).toString(), u"80"_s);
}

// A worker fills far more rows than the table shows, through the window's own
// operations; reads are exact at once, and after a paint the view knows every
// row and can show the last one.
TEST(WindowHandOff, TheViewKeepsUpWithAWorker) {
  MainWindow window;
  auto* table = window.findChild<QTableView*>(u"超级列表框1"_s);
  ASSERT_NE(table, nullptr);
  QAbstractItemModelTester tester(table->model(),
                                  QAbstractItemModelTester::FailureReportingMode::Fatal);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  const int rows = 500;
  OnWorkerThread([&] {
    window.DeleteAllRows();
    for (int i = 0; i < rows; ++i) {
      const int r = window.InsertRow();
      ASSERT_EQ(r, i);
      window.SetCellText(r, 0, IntToText(window.RowCount()));
      window.SetCellText(r, 1, Text("10.0.0." + std::to_string(i % 250)));
      ASSERT_EQ(window.GetCellText(r, 0), IntToText(i + 1));
    }
  });
  (void)window.grab();
  QApplication::processEvents();
  EXPECT_EQ(table->model()->rowCount(), rows);
  EXPECT_EQ(table->verticalHeader()->count(), rows);
  EXPECT_GT(table->verticalScrollBar()->maximum(), 0);
  table->scrollToBottom();
  QApplication::processEvents();
  const QModelIndex last = table->model()->index(rows - 1, 1);
  EXPECT_TRUE(table->viewport()->rect().intersects(table->visualRect(last)));
  EXPECT_EQ(last.data().toString(), u"10.0.0.249"_s);
  EXPECT_EQ(table->model()->index(rows - 1, 0).data().toString(), QString::number(rows));
}

// While a popup menu's own loop runs on the window's thread, a worker's
// operations are still carried out there, one after another.
TEST(WindowHandOff, WorkersAreServedWhileAPopupMenuIsOpen) {
  MainWindow window;
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  std::atomic<bool> done = false;
  std::atomic<bool> popupSeen = false;
  int got = -1;
  std::thread worker;
  // Once the popup shows, the worker starts; the popup's own loop serves it,
  // and the popup is closed when the worker is done (or has had long enough).
  QTimer poll;
  QElapsedTimer waited;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    if (!popup) return;
    if (!popupSeen.exchange(true)) {
      waited.start();
      worker = std::thread([&] {
        for (int i = 0; i < 50; ++i) window.SetCellText(window.InsertRow(), 1, "x");
        got = window.RowCount();
        done = true;
      });
    }
    if (done || waited.elapsed() > 30000) popup->close();
  });
  poll.start(5);
  window.ShowPopupMenu(window.TableMenu());  // returns once the popup closes
  poll.stop();
  if (worker.joinable()) worker.join();
  EXPECT_TRUE(popupSeen);
  EXPECT_EQ(got, 50);
}

}  // namespace
}  // namespace velmora

int main(int argc, char** argv) { return velmora::testing::RunGuiTests(argc, argv); }
