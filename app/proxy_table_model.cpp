#include "app/proxy_table_model.h"

#include <limits>
#include <new>
#include <string_view>

#include "app/qt_text.h"
#include "app/window_thread.h"

namespace velmora {

using namespace Qt::Literals::StringLiterals;

namespace {

const QString& HeaderText(int column) {
  static const QString headers[ProxyTableModel::kColumnCount] = {
      u"序号"_s, u"IP"_s,   u"端口"_s,     u"位置"_s,
      u"类型"_s, u"速度"_s, u"连接时间"_s, u"验证时间"_s,
  };
  return headers[column];
}

QVariant LeftAligned() { return Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter).toInt(); }

}  // namespace

ProxyTableModel::ProxyTableModel(QObject* parent) : QAbstractTableModel(parent) {}

int ProxyTableModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : announced_;
}

int ProxyTableModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kColumnCount;
}

QVariant ProxyTableModel::data(const QModelIndex& index, int role) const {
  if (!checkIndex(index, CheckIndexOption::IndexIsValid)) return {};
  switch (role) {
    case Qt::DisplayRole:
      return ToQString(Cell(index.row(), index.column()));
    case Qt::TextAlignmentRole:
      return LeftAligned();
    default:
      return {};
  }
}

QVariant ProxyTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= kColumnCount) {
    return QAbstractTableModel::headerData(section, orientation, role);
  }
  switch (role) {
    case Qt::DisplayRole:
      return HeaderText(section);
    case Qt::TextAlignmentRole:
      return LeftAligned();
    default:
      return {};
  }
}

Qt::ItemFlags ProxyTableModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

void ProxyTableModel::Clear() {
  beginResetModel();
  std::vector<Row>().swap(rows_);
  announced_ = 0;
  endResetModel();
}

int ProxyTableModel::AppendRow() {
  const int row = RowCount();
  if (row == std::numeric_limits<int>::max()) return -1;
  // Make room before announcing the row, so that a failure leaves the model and
  // the view as they were.
  try {
    if (rows_.size() == rows_.capacity()) rows_.reserve(rows_.size() * 2 + 16);
  } catch (const std::bad_alloc&) {
    return -1;
  } catch (const std::length_error&) {
    return -1;
  }
  rows_.emplace_back();
  // Each announcement makes the view and its header lay out again, so the rows
  // of a burst of handed-over operations are announced together at its end.
  bool deferred = false;
  if (CarryingHandedOverOperation()) {
    deferred = announcePending_ || (announcePending_ = RunAtEndOfHandOffs(*this, [this] {
                                      announcePending_ = false;
                                      AnnounceRows();
                                    }));
  }
  if (!deferred) AnnounceRows();
  return row;
}

void ProxyTableModel::AnnounceRows() {
  const int count = RowCount();
  if (count <= announced_) return;
  beginInsertRows(QModelIndex(), announced_, count - 1);
  announced_ = count;
  endInsertRows();
}

bool ProxyTableModel::HasCell(int row, int column) const {
  return row >= 0 && row < RowCount() && column >= 0 && column < kColumnCount;
}

void ProxyTableModel::SetCell(int row, int column, const Text& text) {
  if (!HasCell(row, column)) return;
  Row& r = rows_[static_cast<std::size_t>(row)];
  const std::size_t c = static_cast<std::size_t>(column);
  const std::uint32_t begin = c == 0 ? 0 : r.ends[c - 1];
  const std::uint32_t oldLength = r.ends[c] - begin;
  const std::size_t newLength = static_cast<std::size_t>(text.size());
  // Offsets are 32-bit; a row that would outgrow them keeps its old cell.
  if (r.bytes.size() - oldLength + newLength > std::numeric_limits<std::uint32_t>::max()) return;
  // Rebuilt at its exact size rather than grown in place, which would leave
  // up to half of each row's allocation unused once the worker is done with it.
  std::string updated;
  try {
    updated.reserve(r.bytes.size() - oldLength + newLength);
  } catch (const std::bad_alloc&) {
    return;
  }
  updated.append(r.bytes, 0, begin).append(text.view()).append(r.bytes, begin + oldLength);
  r.bytes.swap(updated);
  const std::uint32_t newEnd = begin + static_cast<std::uint32_t>(newLength);
  const std::uint32_t shift = newEnd - r.ends[c];  // wraps for a shorter cell, as intended
  for (std::size_t i = c; i < r.ends.size(); ++i) r.ends[i] += shift;
  // A row the view has not been told of yet is read whole when it is announced.
  if (row >= announced_) return;
  const QModelIndex changed = index(row, column);
  emit dataChanged(changed, changed, {Qt::DisplayRole});
}

Text ProxyTableModel::Cell(int row, int column) const {
  if (!HasCell(row, column)) return Text();
  const Row& r = rows_[static_cast<std::size_t>(row)];
  const std::size_t c = static_cast<std::size_t>(column);
  const std::uint32_t begin = c == 0 ? 0 : r.ends[c - 1];
  return Text(std::string_view(r.bytes).substr(begin, r.ends[c] - begin));
}

}  // namespace velmora
