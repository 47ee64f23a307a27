// The program's one window: the proxy table, the status label, the Refresh
// button and the hidden popup menu, and the operations the handlers and the
// collection workers use on them.
#pragma once

#include <QWidget>

#include "collect/collector.h"
#include "collect/listing.h"
#include "text/text.h"

class QLabel;
class QMenu;
class QPushButton;

namespace velmora {

class ProxyTableModel;
class ProxyTableView;

// Fixed client size. 616 x 304 is the outer size on a classic desktop frame
// (3 pixels of fixed frame on every side, a 19-pixel title bar); this is what
// that frame leaves inside, and the controls end at x 600 and y 272.
inline constexpr int kClientWidth = 610;
inline constexpr int kClientHeight = 279;
// The outer size by which the window is centred.
inline constexpr int kOuterWidth = 616;
inline constexpr int kOuterHeight = 304;

// Every operation may be called from any thread. On the window's thread it acts
// at once; from another thread it is carried out on the window's thread, whole,
// and the caller waits until it is done. Rows and columns count from 0.
class MainWindow final : public QWidget, public CollectorWindow {
  Q_OBJECT

 public:
  // Refresh collects from the listing at `listingUrl`; the program always uses
  // the built-in address, tests their own loopback listing.
  explicit MainWindow(Text listingUrl = ListingBaseUrl());
  ~MainWindow() override;

  // The proxy table.
  void DeleteAllRows() override;
  // The new row's index (the row count before the call), -1 if none was added;
  // counting and appending are one step.
  int InsertRow() override;
  int RowCount() override;
  // A cell that does not exist is ignored.
  void SetCellText(int row, int column, const Text& text) override;
  // The empty text for a cell that does not exist.
  Text GetCellText(int row, int column);
  // -1 when no row is selected.
  int SelectedRow();

  void SetLabelCaption(const Text& text) override;

  // Shows the items of `menu` as a new popup at the pointer moved by (3, 3) and
  // returns when it closes. The chosen item is triggered afterwards, as an event
  // of its own.
  void ShowPopupMenu(QMenu& menu);
  // The hidden menu "菜单" with its one item "复制".
  QMenu& TableMenu() { return *menu_; }

  // Replaces the clipboard's content by `text` as plain text; true when the
  // clipboard holds it afterwards.
  bool SetClipboardText(const Text& text);

 private:
  ProxyTableModel* model_;
  ProxyTableView* table_;
  QLabel* label_;
  QPushButton* button_;
  QMenu* menu_;
  Text listingUrl_;
};

}  // namespace velmora
