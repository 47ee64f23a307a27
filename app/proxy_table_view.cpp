#include "app/proxy_table_view.h"

#include <QHeaderView>
#include <QMouseEvent>
#include <QStyledItemDelegate>

#include <algorithm>

namespace velmora {

namespace {

// Leaves the selected look out while the view lacks the focus, and never marks
// the row under the pointer.
class FocusedSelectionDelegate final : public QStyledItemDelegate {
 public:
  explicit FocusedSelectionDelegate(QAbstractItemView* view)
      : QStyledItemDelegate(view), view_(view) {}

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
    QStyledItemDelegate::initStyleOption(option, index);
    option->state &= ~QStyle::State_MouseOver;
    if (!view_->hasFocus()) option->state &= ~QStyle::State_Selected;
  }

 private:
  QAbstractItemView* view_;
};

}  // namespace

ProxyTableView::ProxyTableView(QWidget* parent) : QTableView(parent) {
  setItemDelegate(new FocusedSelectionDelegate(this));
  setSelectionMode(QAbstractItemView::SingleSelection);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setShowGrid(true);
  setSortingEnabled(false);
  setWordWrap(false);
  setTabKeyNavigation(false);  // Tab leaves the table for the next control
  setCornerButtonEnabled(false);

  QHeaderView* columns = horizontalHeader();
  columns->setSectionsClickable(true);  // clicks are taken and change nothing
  columns->setSectionsMovable(false);
  columns->setSortIndicatorShown(false);
  columns->setHighlightSections(false);
  columns->setStretchLastSection(false);
  columns->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);

  // Every row has the same height and nothing is ever measured to fit its
  // contents, so a growing table costs the view nothing per row.
  QHeaderView* rows = verticalHeader();
  rows->hide();
  rows->setSectionResizeMode(QHeaderView::Fixed);
  rows->setDefaultSectionSize(fontMetrics().height() + 4);
  // The table's own handler lays out and repaints the whole viewport whenever
  // the row count changes; rows appended below the visible ones need only new
  // scroll bar ranges and the area from the first new row down.
  // (The table may have connected it by name or by member pointer.)
  if (!disconnect(rows, &QHeaderView::sectionCountChanged, this,
                  &ProxyTableView::rowCountChanged)) {
    disconnect(rows, SIGNAL(sectionCountChanged(int, int)), this, SLOT(rowCountChanged(int, int)));
  }
  connect(rows, &QHeaderView::sectionCountChanged, this, &ProxyTableView::RowCountChanged);
}

void ProxyTableView::RowCountChanged(int oldCount, int newCount) {
  if (newCount <= oldCount || oldCount == 0) {
    rowCountChanged(oldCount, newCount);
    return;
  }
  updateGeometries();
  QWidget* area = viewport();
  const int top = std::max(rowViewportPosition(oldCount), 0);
  if (top < area->height()) area->update(0, top, area->width(), area->height() - top);
}

void ProxyTableView::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::RightButton) {
    rightPressed_ = true;
    if (!indexAt(event->position().toPoint()).isValid()) clearSelection();
  }
  QTableView::mousePressEvent(event);
}

void ProxyTableView::mouseReleaseEvent(QMouseEvent* event) {
  QTableView::mouseReleaseEvent(event);
  if (event->button() != Qt::RightButton || !rightPressed_) return;
  rightPressed_ = false;
  if (viewport()->rect().contains(event->position().toPoint())) emit rightClicked();
}

}  // namespace velmora
