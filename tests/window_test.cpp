// The main window with real widgets on the offscreen platform: its layout, the
// table model, the window operations from a worker thread, the clipboard, the
// keyboard and the table menu.
#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCursor>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/gui_test.h"
#include "app/main_window.h"
#include "app/proxy_table_model.h"
#include "app/qt_text.h"
#include "text/charset.h"
#include "text/text.h"

namespace velmora {
namespace {

using namespace Qt::Literals::StringLiterals;

Text Gbk(const char* utf8) { return Utf8ToGbk(utf8); }

// Serves this thread's events, as the window's thread does, until `done` has
// been called from any thread. A hand-off that never completes fails the run
// rather than hanging it.
void ServeEventsUntil(const std::function<void(std::function<void()> done)>& start) {
  QEventLoop loop;
  QTimer failsafe;
  failsafe.setSingleShot(true);
  QObject::connect(&failsafe, &QTimer::timeout, &loop, [&loop] { loop.exit(1); });
  failsafe.start(30000);
  start([&loop] { QMetaObject::invokeMethod(&loop, [&loop] { loop.exit(0); }); });
  if (loop.exec() != 0) {
    ADD_FAILURE() << "worker threads never got their operations carried out";
    std::fflush(nullptr);
    std::abort();  // they stay blocked for good; nothing else can be trusted now
  }
}

// Runs `work` on a thread of its own while this thread serves the events.
void OnWorkerThread(const std::function<void()>& work) {
  std::thread worker;
  ServeEventsUntil([&](std::function<void()> done) {
    worker = std::thread([&work, done] {
      work();
      done();
    });
  });
  worker.join();
}

// Queues `choose` to run once a popup menu is showing: the popup's own loop,
// entered by the call that opens it, serves the timer. Whatever `choose` does,
// the popup is closed at the end so the opening call returns.
void WhenPopupOpens(std::function<void(QMenu&)> choose, int triesLeft = 1000) {
  QTimer::singleShot(0, [choose = std::move(choose), triesLeft]() mutable {
    auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    if (!popup) {
      if (triesLeft > 0) WhenPopupOpens(std::move(choose), triesLeft - 1);
      else ADD_FAILURE() << "no popup menu opened";
      return;
    }
    choose(*popup);
    if (popup->isVisible()) {
      ADD_FAILURE() << "the popup menu stayed open";
      popup->close();
    }
  });
}

QAction* PopupItem(QMenu& popup, const QString& name) {
  return popup.findChild<QAction*>(name, Qt::FindDirectChildrenOnly);
}

class WindowTest : public ::testing::Test {
 protected:
  template <typename T>
  T* Child(const QString& name) {
    T* child = window_.findChild<T*>(name);
    EXPECT_NE(child, nullptr) << name.toStdString();
    return child;
  }
  QTableView* Table() { return Child<QTableView>(u"超级列表框1"_s); }
  QLabel* Label() { return Child<QLabel>(u"标签1"_s); }
  QPushButton* Button() { return Child<QPushButton>(u"按钮1"_s); }

  void ShowAndActivate() {
    window_.show();
    window_.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window_));
  }

  // Rows of (serial, ip, port), written the way the worker writes them.
  void AddRows(const std::vector<std::vector<const char*>>& rows) {
    for (const auto& cells : rows) {
      const int row = window_.InsertRow();
      for (int c = 0; c < static_cast<int>(cells.size()); ++c) {
        window_.SetCellText(row, c, Gbk(cells[static_cast<std::size_t>(c)]));
      }
    }
  }

  // A point in the table's row area: the middle of `row`'s first column, or
  // below the last row when `row` is the row count.
  QPoint RowPoint(int row) {
    QTableView* table = Table();
    const int y = row < table->model()->rowCount()
                      ? table->rowViewportPosition(row) + table->rowHeight(0) / 2
                      : table->rowViewportPosition(row - 1) + table->rowHeight(0) * 3 / 2;
    return {20, y};
  }

  // Right-clicks the table's row area with the pointer there, as a user does.
  void RightClick(QPoint at) {
    QWidget* viewport = Table()->viewport();
    QCursor::setPos(viewport->mapToGlobal(at));
    QTest::mouseClick(viewport, Qt::RightButton, Qt::NoModifier, at);
  }

  void SetClipboard(const QString& text) { QGuiApplication::clipboard()->setText(text); }
  QString Clipboard() { return QGuiApplication::clipboard()->text(); }

  MainWindow window_;
};

TEST_F(WindowTest, TitleFrameSizeAndPlace) {
  EXPECT_EQ(window_.windowTitle(), u"Velmora"_s);
  EXPECT_TRUE(window_.isWindow());
  EXPECT_EQ(window_.parentWidget(), nullptr);
  EXPECT_EQ(window_.size(), QSize(kClientWidth, kClientHeight));
  EXPECT_EQ(window_.minimumSize(), window_.size());
  EXPECT_EQ(window_.maximumSize(), window_.size());
  const Qt::WindowFlags flags = window_.windowFlags();
  EXPECT_TRUE(flags & Qt::WindowMinimizeButtonHint);
  EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
  EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
  EXPECT_FALSE(window_.windowIcon().pixmap(32, 32).isNull()) << "icon resource or SVG support";

  window_.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window_));
  const QRect desk = window_.screen()->geometry();
  EXPECT_EQ(window_.frameGeometry().topLeft(),
            desk.topLeft() + QPoint((desk.width() - 616) / 2, (desk.height() - 304) / 2));
}

TEST_F(WindowTest, ControlsStandWhereTheyBelong) {
  struct Case {
    const char16_t* name;
    QRect geometry;
    Qt::FocusPolicy focus;
  };
  const Case cases[] = {
      {u"超级列表框1", QRect(4, 4, 596, 236), Qt::StrongFocus},
      {u"标签1", QRect(4, 244, 304, 28), Qt::NoFocus},
      {u"按钮1", QRect(524, 244, 76, 28), Qt::StrongFocus},
  };
  for (const Case& c : cases) {
    const QString name = QString::fromUtf16(c.name);
    auto* control = Child<QWidget>(name);
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(control->geometry(), c.geometry) << name.toStdString();
    EXPECT_EQ(control->focusPolicy(), c.focus) << name.toStdString();
    EXPECT_TRUE(control->isEnabled()) << name.toStdString();
    EXPECT_FALSE(control->isHidden()) << name.toStdString();
  }

  QPushButton* button = Button();
  EXPECT_EQ(button->text(), u"刷新"_s);
  EXPECT_FALSE(button->isDefault());
  EXPECT_FALSE(button->autoDefault());

  auto* menu = Child<QMenu>(u"菜单"_s);
  ASSERT_NE(menu, nullptr);
  EXPECT_FALSE(menu->isVisible());
  ASSERT_EQ(menu->actions().size(), 1);
  const QAction* copy = menu->actions().first();
  EXPECT_EQ(copy->objectName(), u"复制"_s);
  EXPECT_EQ(copy->text(), u"复制"_s);
  EXPECT_TRUE(copy->isEnabled());
  EXPECT_FALSE(copy->isChecked());
}

TEST_F(WindowTest, TableIsAPlainReportList) {
  QTableView* table = Table();
  const QAbstractItemModel* model = table->model();
  const QString headers[] = {u"序号"_s, u"IP"_s,   u"端口"_s,     u"位置"_s,
                             u"类型"_s, u"速度"_s, u"连接时间"_s, u"验证时间"_s};
  const int widths[] = {40, 100, 50, 100, 50, 65, 65, 110};
  ASSERT_EQ(model->columnCount(), 8);
  EXPECT_EQ(model->rowCount(), 0);
  for (int c = 0; c < 8; ++c) {
    EXPECT_EQ(model->headerData(c, Qt::Horizontal).toString(), headers[c]) << c;
    EXPECT_EQ(table->columnWidth(c), widths[c]) << c;
    EXPECT_EQ(model->headerData(c, Qt::Horizontal, Qt::TextAlignmentRole).toInt(),
              int(Qt::AlignLeft | Qt::AlignVCenter))
        << c;
  }
  EXPECT_EQ(table->selectionMode(), QAbstractItemView::SingleSelection);
  EXPECT_EQ(table->selectionBehavior(), QAbstractItemView::SelectRows);
  EXPECT_EQ(table->editTriggers(), QAbstractItemView::NoEditTriggers);
  EXPECT_TRUE(table->showGrid());
  EXPECT_FALSE(table->isSortingEnabled());
  EXPECT_FALSE(table->horizontalHeader()->sectionsMovable());
  EXPECT_TRUE(table->horizontalHeader()->sectionsClickable());
  EXPECT_TRUE(table->verticalHeader()->isHidden());
  EXPECT_EQ(table->verticalHeader()->sectionResizeMode(0), QHeaderView::Fixed);
  EXPECT_FALSE(table->tabKeyNavigation());
}

TEST_F(WindowTest, LabelIsRedLeftAlignedAndNeverWraps) {
  QLabel* label = Label();
  EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(255, 0, 0));
  EXPECT_EQ(label->alignment(), Qt::AlignLeft | Qt::AlignVCenter);
  EXPECT_FALSE(label->wordWrap());
  EXPECT_EQ(label->frameShape(), QFrame::NoFrame);
  EXPECT_EQ(label->textFormat(), Qt::PlainText);  // a caption is never read as markup
  EXPECT_TRUE(label->text().isEmpty());

  window_.SetLabelCaption(Gbk("采集中......"));
  EXPECT_EQ(label->text(), u"采集中......"_s);
  window_.SetLabelCaption(Text());
  EXPECT_TRUE(label->text().isEmpty());
}

// Packed cells: rewriting one cell, longer or shorter, leaves every other cell
// of the row and of the other rows as it was.
TEST(ProxyTableModelTest, CellsKeepTheirNeighbours) {
  ProxyTableModel model;
  QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
  for (int r = 0; r < 3; ++r) ASSERT_EQ(model.AppendRow(), r);
  auto cellName = [](int r, int c) { return Text(std::string(1, char('a' + r)) + char('0' + c)); };
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 8; ++c) model.SetCell(r, c, cellName(r, c));
  }
  struct Edit {
    int column;
    Text text;
  };
  const Edit edits[] = {{3, "longer than before"}, {0, ""}, {7, Gbk("验证")}, {3, "x"}, {0, "y"}};
  std::vector<Text> want;
  for (int c = 0; c < 8; ++c) want.push_back(cellName(1, c));
  for (const Edit& e : edits) {
    model.SetCell(1, e.column, e.text);
    want[static_cast<std::size_t>(e.column)] = e.text;
    for (int c = 0; c < 8; ++c) {
      EXPECT_EQ(model.Cell(1, c), want[static_cast<std::size_t>(c)]) << c;
      EXPECT_EQ(model.Cell(0, c), cellName(0, c));
      EXPECT_EQ(model.Cell(2, c), cellName(2, c));
    }
  }
  EXPECT_EQ(model.data(model.index(1, 7)).toString(), u"验证"_s);

  model.Clear();
  EXPECT_EQ(model.rowCount(), 0);
  EXPECT_EQ(model.Cell(0, 0), Text());
  EXPECT_EQ(model.AppendRow(), 0);
}

TEST_F(WindowTest, ModelPassesTheModelTester) {
  QAbstractItemModelTester tester(Table()->model(),
                                  QAbstractItemModelTester::FailureReportingMode::Fatal);
  AddRows({{"1", "10.0.0.1", "80", "北京"}, {"2", "10.0.0.2", "8080"}});
  window_.SetCellText(0, 7, Gbk("验证时间"));
  window_.DeleteAllRows();
  AddRows({{"1", "10.0.0.3", "3128"}});
  EXPECT_EQ(Table()->model()->rowCount(), 1);
}

TEST_F(WindowTest, OperationsFromAWorkerThread) {
  const Text long600(std::string(300, 'a') + std::string(150, '\xB0') + std::string(150, '\xA1'));
  ASSERT_EQ(long600.size(), 600);
  const int n = 5;
  // The model is only ever touched on the window's thread.
  std::set<QThread*> changedOn;
  const QAbstractItemModel* model = Table()->model();
  auto recordThread = [&changedOn] { changedOn.insert(QThread::currentThread()); };
  QObject::connect(model, &QAbstractItemModel::rowsInserted, recordThread);
  QObject::connect(model, &QAbstractItemModel::dataChanged, recordThread);
  QObject::connect(model, &QAbstractItemModel::modelReset, recordThread);
  OnWorkerThread([&] {
    EXPECT_EQ(window_.RowCount(), 0);
    EXPECT_EQ(window_.SelectedRow(), -1);
    for (int i = 0; i < n; ++i) EXPECT_EQ(window_.InsertRow(), i);
    EXPECT_EQ(window_.RowCount(), n);
    EXPECT_EQ(window_.InsertRow(), n);
    window_.SetCellText(0, 1, "10.0.0.1");
    window_.SetCellText(n, 3, long600);
    window_.SetCellText(2, 3, Gbk("广东省"));

    // Cells that do not exist: written nothing, read empty.
    window_.SetCellText(n + 1, 1, "beyond");
    window_.SetCellText(n + 7, 1, "far beyond");
    window_.SetCellText(-1, 1, "before");
    window_.SetCellText(0, 8, "ninth column");
    window_.SetCellText(0, -1, "column -1");
    EXPECT_EQ(window_.RowCount(), n + 1);
    EXPECT_EQ(window_.GetCellText(-1, 1), Text());
    EXPECT_EQ(window_.GetCellText(n + 1, 1), Text());
    EXPECT_EQ(window_.GetCellText(0, 8), Text());
    EXPECT_EQ(window_.GetCellText(0, -1), Text());

    EXPECT_EQ(window_.GetCellText(0, 1), Text("10.0.0.1"));
    EXPECT_EQ(window_.GetCellText(n, 3), long600);
    EXPECT_EQ(window_.GetCellText(2, 3), Gbk("广东省"));
    window_.SetLabelCaption(Gbk("采集完毕！"));
  });
  EXPECT_EQ(changedOn, std::set<QThread*>{window_.thread()});
  EXPECT_EQ(model->rowCount(), n + 1);
  EXPECT_EQ(model->data(model->index(2, 3)).toString(), u"广东省"_s);
  EXPECT_EQ(model->data(model->index(0, 1)).toString(), u"10.0.0.1"_s);
  EXPECT_EQ(Label()->text(), u"采集完毕！"_s);

  Table()->selectRow(3);
  OnWorkerThread([&] {
    EXPECT_EQ(window_.SelectedRow(), 3);
    window_.DeleteAllRows();
    EXPECT_EQ(window_.RowCount(), 0);
    EXPECT_EQ(window_.SelectedRow(), -1);
    EXPECT_EQ(window_.InsertRow(), 0);
  });
  EXPECT_EQ(changedOn, std::set<QThread*>{window_.thread()});
}

// Two workers at once: every InsertRow is one step, so no index is handed out
// twice, and each worker reads back what it wrote.
TEST_F(WindowTest, WorkersInterleaveWholeOperations) {
  const int perWorker = 200;
  std::vector<int> got[2];
  std::thread workers[2];
  std::atomic<int> running = 2;
  ServeEventsUntil([&](std::function<void()> done) {
    for (int w = 0; w < 2; ++w) {
      workers[w] = std::thread([&, w, done] {
        const Text tag = IntToText(w);
        for (int i = 0; i < perWorker; ++i) {
          const int row = window_.InsertRow();
          got[w].push_back(row);
          window_.SetCellText(row, 0, tag);
        }
        if (--running == 0) done();
      });
    }
  });
  for (std::thread& worker : workers) worker.join();

  std::set<int> all;
  for (int w = 0; w < 2; ++w) {
    for (int row : got[w]) {
      all.insert(row);
      EXPECT_EQ(window_.GetCellText(row, 0), IntToText(w)) << row;
    }
  }
  EXPECT_EQ(all.size(), std::size_t{2 * perWorker});
  EXPECT_EQ(*all.rbegin(), 2 * perWorker - 1);
  EXPECT_EQ(window_.RowCount(), 2 * perWorker);
}

TEST_F(WindowTest, ClipboardRoundTrip) {
  struct Case {
    const char* utf8;
    QString shown;
  };
  const Case cases[] = {
      {"10.0.0.1:80", u"10.0.0.1:80"_s},
      {"代理 192.168.1.1:8080 高匿", u"代理 192.168.1.1:8080 高匿"_s},
      {":", u":"_s},
  };
  for (const Case& c : cases) {
    EXPECT_TRUE(window_.SetClipboardText(Gbk(c.utf8))) << c.utf8;
    EXPECT_EQ(Clipboard(), c.shown) << c.utf8;
    EXPECT_EQ(ToText(Clipboard()), Gbk(c.utf8)) << c.utf8;
  }
  OnWorkerThread([&] { EXPECT_TRUE(window_.SetClipboardText(Gbk("从线程"))); });
  EXPECT_EQ(Clipboard(), u"从线程"_s);
}

// Esc closes the window, and closing the last window ends the application's
// event loop with status 0, which is how the program ends.
TEST_F(WindowTest, EscapeClosesTheWindowAndEndsTheLoop) {
  ShowAndActivate();
  QTimer failsafe;
  failsafe.setSingleShot(true);
  QObject::connect(&failsafe, &QTimer::timeout, [] { QCoreApplication::exit(1); });
  failsafe.start(30000);
  QSignalSpy lastClosed(qApp, &QGuiApplication::lastWindowClosed);
  QTimer::singleShot(0, [this] {
    QWidget* focus = QApplication::focusWidget();
    QTest::keyClick(focus ? focus : &window_, Qt::Key_Escape);
  });
  EXPECT_EQ(QApplication::exec(), 0);
  EXPECT_FALSE(window_.isVisible());
  EXPECT_EQ(lastClosed.count(), 1);
}

TEST_F(WindowTest, TabMovesBetweenTableAndButton) {
  ShowAndActivate();
  AddRows({{"1", "10.0.0.1", "80"}});
  Table()->setFocus();
  ASSERT_TRUE(Table()->hasFocus());
  QTest::keyClick(Table(), Qt::Key_Tab);
  EXPECT_TRUE(Button()->hasFocus());
  QTest::keyClick(Button(), Qt::Key_Tab);
  EXPECT_TRUE(Table()->hasFocus());
}

TEST_F(WindowTest, CopyFromTheTableMenu) {
  ShowAndActivate();
  AddRows({{"1", "10.0.0.1", "80"}, {"2", "10.0.0.2", "8080"}, {"3", "10.0.0.3", "3128"}});
  struct Case {
    const char* what;
    int row;  // 3 is below the last row
    Qt::MouseButton chooseWith;
    QString want;
  };
  const Case cases[] = {
      {"second row", 1, Qt::LeftButton, u"10.0.0.2:8080"_s},
      {"first row, chosen with the right button", 0, Qt::RightButton, u"10.0.0.1:80"_s},
      {"below the last row", 3, Qt::LeftButton, u":"_s},
  };
  for (const Case& c : cases) {
    Table()->selectRow(2);
    SetClipboard(u"before"_s);
    QStringList items;
    QPoint popupAt;
    WhenPopupOpens([&](QMenu& popup) {
      popupAt = popup.pos();
      for (const QAction* a : popup.actions()) items << a->text();
      QAction* copy = PopupItem(popup, u"复制"_s);
      ASSERT_NE(copy, nullptr);
      QTest::mouseClick(&popup, c.chooseWith, Qt::NoModifier, popup.actionGeometry(copy).center());
    });
    RightClick(RowPoint(c.row));
    EXPECT_EQ(items, QStringList{u"复制"_s}) << c.what;
    EXPECT_EQ(popupAt, QCursor::pos() + QPoint(3, 3)) << c.what;
    EXPECT_EQ(window_.SelectedRow(), c.row == 3 ? -1 : c.row) << c.what;
    EXPECT_TRUE(QTest::qWaitFor([&] { return Clipboard() == c.want; })) << c.what;
    EXPECT_EQ(Clipboard(), c.want) << c.what;
  }
}

TEST_F(WindowTest, EmptyTableMenuCopiesAColon) {
  ShowAndActivate();
  SetClipboard(u"before"_s);
  WhenPopupOpens([](QMenu& popup) {
    QAction* copy = PopupItem(popup, u"复制"_s);
    ASSERT_NE(copy, nullptr);
    QTest::mouseClick(&popup, Qt::LeftButton, Qt::NoModifier, popup.actionGeometry(copy).center());
  });
  RightClick(QPoint(30, 30));
  EXPECT_TRUE(QTest::qWaitFor([&] { return Clipboard() == u":"_s; }));
}

// The chosen item's handler is not run inside ShowPopupMenu but as an event of
// its own once the call has returned.
TEST_F(WindowTest, ChosenItemRunsAfterThePopupCloses) {
  ShowAndActivate();
  AddRows({{"1", "10.0.0.9", "9000"}});
  Table()->selectRow(0);
  SetClipboard(u"before"_s);
  WhenPopupOpens([](QMenu& popup) {
    QAction* copy = PopupItem(popup, u"复制"_s);
    ASSERT_NE(copy, nullptr);
    QTest::mouseClick(&popup, Qt::LeftButton, Qt::NoModifier, popup.actionGeometry(copy).center());
  });
  window_.ShowPopupMenu(window_.TableMenu());
  EXPECT_EQ(Clipboard(), u"before"_s);
  EXPECT_TRUE(QTest::qWaitFor([&] { return Clipboard() == u"10.0.0.9:9000"_s; }));
}

TEST_F(WindowTest, EscapeOnTheMenuCopiesNothing) {
  ShowAndActivate();
  AddRows({{"1", "10.0.0.1", "80"}});
  SetClipboard(u"before"_s);
  bool opened = false;
  WhenPopupOpens([&](QMenu& popup) {
    opened = true;
    QTest::keyClick(&popup, Qt::Key_Escape);
  });
  RightClick(RowPoint(0));
  EXPECT_TRUE(opened);
  EXPECT_TRUE(window_.isVisible()) << "Esc closed the menu, not the window";
  QCoreApplication::sendPostedEvents();
  QCoreApplication::processEvents();
  EXPECT_EQ(Clipboard(), u"before"_s);
}

TEST_F(WindowTest, HeaderClickSortsNothing) {
  ShowAndActivate();
  AddRows({{"2", "10.0.0.2"}, {"3", "10.0.0.3"}, {"1", "10.0.0.1"}});
  Table()->selectRow(1);
  QHeaderView* header = Table()->horizontalHeader();
  for (int column : {0, 1}) {
    const QPoint at(header->sectionViewportPosition(column) + 10, header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, at);
  }
  EXPECT_EQ(window_.GetCellText(0, 0), Text("2"));
  EXPECT_EQ(window_.GetCellText(1, 0), Text("3"));
  EXPECT_EQ(window_.GetCellText(2, 0), Text("1"));
  EXPECT_EQ(window_.GetCellText(2, 1), Text("10.0.0.1"));
  EXPECT_EQ(window_.SelectedRow(), 1);
  EXPECT_EQ(Table()->selectionModel()->selectedIndexes().size(), 8);  // one whole row
}

}  // namespace
}  // namespace velmora

// The window needs a QApplication for the whole run; tests find the offscreen
// platform even when started without the environment ctest gives them.
int main(int argc, char** argv) { return velmora::testing::RunGuiTests(argc, argv); }
