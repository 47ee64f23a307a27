#include "collect/collector.h"

#include <cstdint>

#include "collect/listing.h"
#include "fetch/fetch_page.h"
#include "regex/regex_object.h"
#include "text/extract.h"

namespace velmora {

namespace {

// Group numbers of the row pattern.
enum Group {
  kIp = 1,
  kPort = 2,
  kLocationLink = 4,
  kLocationPlain = 5,
  kType = 6,
  kSpeed = 7,
  kConnectTime = 8,
  kVerified = 9,
};

bool IsDigit(unsigned char b) { return b >= '0' && b <= '9'; }

// Below the limit by more than the tolerance, computed subtraction first.
bool Below(double value, double limit) { return value - limit < -kCompareTolerance; }

}  // namespace

Text DigitsOnly(const Text& text) {
  RegexObject digits;
  digits.Create("[0-9]", text);
  Text joined;
  int count = digits.MatchCount();
  for (int i = 1; i <= count; ++i) joined += digits.MatchText(i);
  return joined;
}

std::int32_t PageCount(const Text& pager) {
  // The pager ends with the link to the last page, so the last run of digits in
  // it is the whole last page number, however many digits it has.
  int end = pager.size();
  while (end > 0 && !IsDigit(pager[end - 1])) --end;
  int start = end;
  while (start > 0 && IsDigit(pager[start - 1])) --start;
  return ToInteger(DigitsOnly(TextMid(pager, start + 1, end - start)));
}

void CollectProxies(CollectorWindow& window) { CollectProxies(window, ListingBaseUrl()); }

void CollectProxies(CollectorWindow& window, const Text& baseUrl) {
  RegexObject rows;
  window.DeleteAllRows();
  window.SetLabelCaption(CollectingCaption());

  std::int64_t pages =
      PageCount(TextBetween(FetchPage(baseUrl), PagerStartMarker(), PagerEndMarker()));
  for (std::int64_t i = 1; i <= pages; ++i) {
    rows.Create(RowPattern(), FetchPage(JoinText(baseUrl, IntToText(i))));
    int matches = rows.MatchCount();
    for (int j = 1; j <= matches; ++j) {
      if (!Below(ToNumber(rows.SubmatchText(j, kSpeed)), kSpeedLimit)) continue;
      if (!Below(ToNumber(rows.SubmatchText(j, kConnectTime)), kConnectTimeLimit)) continue;
      int r = window.InsertRow();
      window.SetCellText(r, 0, IntToText(window.RowCount()));
      window.SetCellText(r, 1, rows.SubmatchText(j, kIp));
      window.SetCellText(r, 2, rows.SubmatchText(j, kPort));
      Text location = rows.SubmatchText(j, kLocationLink);
      window.SetCellText(r, 3, location.empty() ? rows.SubmatchText(j, kLocationPlain) : location);
      window.SetCellText(r, 4, rows.SubmatchText(j, kType));
      window.SetCellText(r, 5, rows.SubmatchText(j, kSpeed));
      window.SetCellText(r, 6, rows.SubmatchText(j, kConnectTime));
      window.SetCellText(r, 7, rows.SubmatchText(j, kVerified));
    }
  }
  window.SetLabelCaption(DoneCaption());
}

}  // namespace velmora
