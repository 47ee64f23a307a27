// What the worker tests share: the table and label in memory, and the cell
// values a run of the sample listing may leave in each column.
#pragma once

#include <array>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "collect/collector.h"
#include "text/charset.h"
#include "tools/listing/sample_listing.h"

namespace velmora {

using Row = std::array<std::string, 8>;  // UTF-8 cells, as the table would show them

inline const std::vector<std::string> kBothCaptions = {"采集中......", "采集完毕！"};

// The table and label in memory, safe for several workers at once: every
// operation is whole, as the window's are.
class MemoryWindow : public CollectorWindow {
 public:
  void DeleteAllRows() override {
    std::lock_guard lock(mutex_);
    rows_.clear();
  }
  int InsertRow() override {
    std::lock_guard lock(mutex_);
    rows_.emplace_back();
    return static_cast<int>(rows_.size()) - 1;
  }
  int RowCount() override {
    std::lock_guard lock(mutex_);
    return static_cast<int>(rows_.size());
  }
  void SetCellText(int row, int column, const Text& text) override {
    std::lock_guard lock(mutex_);
    if (row < 0 || row >= static_cast<int>(rows_.size()) || column < 0 || column > 7) return;
    rows_[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)] = GbkToUtf8(text.view());
  }
  void SetLabelCaption(const Text& text) override {
    std::lock_guard lock(mutex_);
    captions_.push_back(GbkToUtf8(text.view()));
  }

  std::vector<Row> rows() const {
    std::lock_guard lock(mutex_);
    return rows_;
  }
  std::vector<std::string> captions() const {
    std::lock_guard lock(mutex_);
    return captions_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<Row> rows_;
  std::vector<std::string> captions_;
};

// Per column, every value that `workers` runs over `listing` at once may write:
// the serials up to all their rows, and the kept rows' cells. Rows written across
// another worker's emptying may mix cells of different rows, so a cell can only
// be checked on its own.
inline std::array<std::set<std::string>, 8> AllowedCellValues(
    const sample::SampleListing& listing, int workers) {
  const auto& kept = listing.KeptRows();
  std::array<std::set<std::string>, 8> allowed;
  for (std::size_t k = 0; k < kept.size() * static_cast<std::size_t>(workers); ++k) {
    allowed[0].insert(std::to_string(k + 1));
  }
  for (const auto& row : kept) {
    const std::string cells[] = {row.ip,    row.port,        row.location, row.type,
                                 row.speed, row.connectTime, row.verified};
    for (std::size_t c = 1; c < 8; ++c) allowed[c].insert(cells[c - 1]);
  }
  return allowed;
}

}  // namespace velmora
