// The proxy table's view: a report-style list with one selected row at most.
#pragma once

#include <QTableView>

namespace velmora {

// A right-click in the row area selects the row under the pointer, or clears the
// selection below the last row, and then raises rightClicked once the button is
// released. The selection is drawn only while the table has the focus; it is
// kept either way.
class ProxyTableView final : public QTableView {
  Q_OBJECT

 public:
  explicit ProxyTableView(QWidget* parent = nullptr);

 signals:
  void rightClicked();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  void RowCountChanged(int oldCount, int newCount);

  bool rightPressed_ = false;
};

}  // namespace velmora
