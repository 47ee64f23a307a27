#include "app/main_window.h"

#include <QAction>
#include <QClipboard>
#include <QCursor>
#include <QGuiApplication>
#include <QHeaderView>
#include <QIcon>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>

#include <mutex>
#include <utility>

#include "app/handlers.h"
#include "app/proxy_table_model.h"
#include "app/proxy_table_view.h"
#include "app/qt_text.h"
#include "app/window_thread.h"

// The icon lives in this static library, whose resource initialiser the linker
// would otherwise drop; this must stand outside any namespace.
static void InitAppResources() {
  static std::once_flag once;
  std::call_once(once, [] { Q_INIT_RESOURCE(velmora); });
}

namespace velmora {

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr int kColumnWidths[ProxyTableModel::kColumnCount] = {40, 100, 50, 100, 50, 65, 65, 110};

}  // namespace

MainWindow::MainWindow(Text listingUrl)
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                           Qt::WindowCloseButtonHint),
      model_(new ProxyTableModel(this)),
      table_(new ProxyTableView(this)),
      label_(new QLabel(this)),
      button_(new QPushButton(this)),
      menu_(new QMenu(this)),
      listingUrl_(std::move(listingUrl)) {
  InitAppResources();
  setObjectName(u"MainWindow"_s);
  setWindowTitle(u"Velmora"_s);
  setWindowIcon(QIcon(u":/velmora/icon.svg"_s));
  setFixedSize(kClientWidth, kClientHeight);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect desk = screen->geometry();
    move(desk.x() + (desk.width() - kOuterWidth) / 2,
         desk.y() + (desk.height() - kOuterHeight) / 2);
  }

  // Created in focus order: Tab goes from the table to the button and back.
  table_->setObjectName(u"超级列表框1"_s);
  table_->setGeometry(4, 4, 596, 236);
  table_->setModel(model_);
  for (int c = 0; c < ProxyTableModel::kColumnCount; ++c) {
    table_->setColumnWidth(c, kColumnWidths[c]);
  }

  label_->setObjectName(u"标签1"_s);
  label_->setGeometry(4, 244, 304, 28);
  label_->setTextFormat(Qt::PlainText);
  label_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  label_->setWordWrap(false);  // a long caption is cut off at the right edge
  label_->setFocusPolicy(Qt::NoFocus);
  QPalette red = label_->palette();
  red.setColor(QPalette::WindowText, QColor(255, 0, 0));
  label_->setPalette(red);

  button_->setObjectName(u"按钮1"_s);
  button_->setGeometry(524, 244, 76, 28);
  button_->setText(u"刷新"_s);
  button_->setDefault(false);
  button_->setAutoDefault(false);  // Enter does nothing of its own

  menu_->setObjectName(u"菜单"_s);
  menu_->setTitle(u"菜单"_s);
  QAction* copy = menu_->addAction(u"复制"_s);
  copy->setObjectName(u"复制"_s);

  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  escape->setObjectName(u"escape"_s);
  connect(escape, &QShortcut::activated, this, &QWidget::close);

  connect(button_, &QPushButton::clicked, this, [this] { StartCollection(*this, listingUrl_); });
  connect(table_, &ProxyTableView::rightClicked, this, [this] { ShowTableMenu(*this); });
  connect(copy, &QAction::triggered, this, [this] { CopyAddress(*this); });
}

MainWindow::~MainWindow() = default;

void MainWindow::DeleteAllRows() {
  RunOnWindowThread(*this, [this] { model_->Clear(); });
}

int MainWindow::InsertRow() {
  return RunOnWindowThread(*this, [this] { return model_->AppendRow(); });
}

int MainWindow::RowCount() {
  return RunOnWindowThread(*this, [this] { return model_->RowCount(); });
}

void MainWindow::SetCellText(int row, int column, const Text& text) {
  RunOnWindowThread(*this, [this, row, column, &text] { model_->SetCell(row, column, text); });
}

Text MainWindow::GetCellText(int row, int column) {
  return RunOnWindowThread(*this, [this, row, column] { return model_->Cell(row, column); });
}

int MainWindow::SelectedRow() {
  return RunOnWindowThread(*this, [this] {
    const QModelIndexList rows = table_->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
  });
}

void MainWindow::SetLabelCaption(const Text& text) {
  RunOnWindowThread(*this, [this, &text] { label_->setText(ToQString(text)); });
}

void MainWindow::ShowPopupMenu(QMenu& menu) {
  RunOnWindowThread(*this, [this, &menu] {
    QMenu popup(this);
    popup.setObjectName(u"popupMenu"_s);
    const QList<QAction*> items = menu.actions();
    for (const QAction* item : items) {
      QAction* shown = item->isSeparator() ? popup.addSeparator() : popup.addAction(item->text());
      shown->setObjectName(item->objectName());
      shown->setEnabled(item->isEnabled());
      shown->setCheckable(item->isCheckable());
      shown->setChecked(item->isChecked());
    }
    const QAction* chosen = popup.exec(QCursor::pos() + QPoint(3, 3));
    const qsizetype at = chosen ? popup.actions().indexOf(chosen) : -1;
    if (at < 0 || at >= items.size()) return;
    // The item's own handler runs later, as an event of its own, not inside
    // this call; it is dropped if the item is gone by then.
    QAction* item = items[at];
    QMetaObject::invokeMethod(item, [item] { item->trigger(); }, Qt::QueuedConnection);
  });
}

bool MainWindow::SetClipboardText(const Text& text) {
  return RunOnWindowThread(*this, [&text] {
    QClipboard* clipboard = QGuiApplication::clipboard();
    const QString wanted = ToQString(text);
    clipboard->setText(wanted);
    // Owning the clipboard means it holds our text; where the platform does not
    // say (offscreen), read it back.
    return clipboard->ownsClipboard() || clipboard->text() == wanted;
  });
}

}  // namespace velmora
