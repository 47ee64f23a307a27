// The proxy table's data: rows of eight GBK cells, appended at the end.
#pragma once

#include <QAbstractTableModel>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "text/text.h"

namespace velmora {

// The data changes at once, so RowCount and Cell are always exact. The view is
// told of appended rows in batches: rows appended by operations that workers
// hand to the window's thread are announced together once that burst of
// operations ends, before the window paints again; a row appended otherwise is
// announced at once. Clear is a reset, also in the middle of a batch. The
// model's rowCount() is the number of rows announced so far.
//
// Each row keeps its eight cells packed in one byte string with the end offset
// of every cell, so a table of 100,000 short rows costs little more than its
// bytes. Cells are converted for display only when the view asks for them.
// Lives on the window's thread; rows and columns count from 0.
class ProxyTableModel final : public QAbstractTableModel {
  Q_OBJECT

 public:
  static constexpr int kColumnCount = 8;

  explicit ProxyTableModel(QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

  // Removes every row and gives their memory back.
  void Clear();
  // Appends a row of empty cells and returns its index (the row count before the
  // call); -1 when no row can be added.
  int AppendRow();
  int RowCount() const { return static_cast<int>(rows_.size()); }
  // A cell that does not exist is ignored.
  void SetCell(int row, int column, const Text& text);
  // The empty text for a cell that does not exist.
  Text Cell(int row, int column) const;

 private:
  struct Row {
    std::string bytes;                            // the cells one after another
    std::array<std::uint32_t, kColumnCount> ends{};  // end offset of each cell in `bytes`
  };

  bool HasCell(int row, int column) const;
  // Tells the view of every row appended since the last announcement.
  void AnnounceRows();

  std::vector<Row> rows_;
  int announced_ = 0;             // rows the view has been told of
  bool announcePending_ = false;  // an announcement waits for the end of a burst
};

}  // namespace velmora
