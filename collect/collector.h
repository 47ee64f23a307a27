// The collection worker: walks the proxy listing page by page and appends the
// fast high-anonymity proxies to the window's table.
#pragma once

#include <cstdint>

#include "text/text.h"

namespace velmora {

// What the worker needs of the window. Each operation is carried out whole, one
// at a time, and returns only when it has been done; rows and columns count from 0.
class CollectorWindow {
 public:
  virtual ~CollectorWindow() = default;
  virtual void DeleteAllRows() = 0;
  // Appends an empty row and returns its index (the row count before the call),
  // or -1 when no row could be added.
  virtual int InsertRow() = 0;
  virtual int RowCount() = 0;
  // A row that does not exist is ignored.
  virtual void SetCellText(int row, int column, const Text& text) = 0;
  virtual void SetLabelCaption(const Text& text) = 0;
};

// One whole collection run of the listing at ListingBaseUrl() into `window`:
// the table emptied, "采集中......", every page from 1 to the pager's last one
// fetched in turn, the fast high-anonymity rows appended, "采集完毕！". Returns
// when the run is over; the thread that runs it ends right after.
void CollectProxies(CollectorWindow& window);
// The same run over the listing at `baseUrl` ("http://host:port/nn/").
void CollectProxies(CollectorWindow& window, const Text& baseUrl);

// Every decimal digit of `text`, in order; the empty text when there is none.
Text DigitsOnly(const Text& text);

// The number of pages that the first page's pager text names: its last run of
// decimal digits, saturating at the 32-bit bound; 0 when there is none.
std::int32_t PageCount(const Text& pager);

}  // namespace velmora
