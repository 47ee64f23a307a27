#include <gtest/gtest.h>

#include <array>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "collect/collector.h"
#include "collect/listing.h"
#include "text/charset.h"
#include "text/extract.h"
#include "tests/support/memory_window.h"
#include "tools/listing/listing_server.h"

namespace velmora {
namespace {


Row AsRow(int serial, const sample::KeptRow& kept) {
  return {std::to_string(serial), kept.ip,    kept.port,        kept.location,
          kept.type,              kept.speed, kept.connectTime, kept.verified};
}

std::vector<Row> Expected(const sample::SampleListing& listing, std::set<int> skippedPages = {}) {
  std::vector<Row> rows;
  for (const auto& kept : listing.KeptRows()) {
    if (!skippedPages.count(kept.page)) rows.push_back(AsRow(static_cast<int>(rows.size()) + 1, kept));
  }
  return rows;
}

std::vector<std::string> WalkPaths(int pages) {
  std::vector<std::string> paths = {"/nn/"};
  for (int i = 1; i <= pages; ++i) paths.push_back("/nn/" + std::to_string(i));
  return paths;
}

TEST(DigitsOnly, KeepsEveryDigitInOrder) {
  EXPECT_EQ(DigitsOnly("a1b22"), Text("122"));
  EXPECT_EQ(DigitsOnly("\">1034</a> "), Text("1034"));
  EXPECT_EQ(DigitsOnly("none"), Text());
  EXPECT_EQ(DigitsOnly(""), Text());
}

TEST(PageCount, ReadsTheWholeLastPageNumber) {
  for (int pages : {12, 123, 1034, 12345, 234567, 2147483647}) {
    Text pager = TextBetween(Utf8ToGbk(sample::PagerHtml(pages)), PagerStartMarker(),
                             PagerEndMarker());
    EXPECT_EQ(PageCount(pager), pages) << sample::PagerHtml(pages);
  }
  EXPECT_EQ(PageCount(" <a href=\"/nn/99999999999\">99999999999</a> "), 2147483647);
  EXPECT_EQ(PageCount(""), 0);
  EXPECT_EQ(PageCount("no digits"), 0);
}

TEST(ListingConstants, HaveTheirExactLengths) {
  EXPECT_EQ(PagerStartMarker().size(), 256);
  EXPECT_EQ(PagerEndMarker().size(), 51);
  EXPECT_EQ(RowPattern().size(), 380);
}

struct WalkCase {
  const char* what;
  sample::Options options;
};

class WorkerWalk : public testing::TestWithParam<WalkCase> {};

TEST_P(WorkerWalk, KeepsExactlyTheFastHighAnonymityRows) {
  sample::SampleListing listing(GetParam().options);
  sample::ListingServer server(listing);
  ASSERT_TRUE(server.ok());
  MemoryWindow window;
  CollectProxies(window, Text(server.BaseUrl()));

  EXPECT_EQ(window.captions(), kBothCaptions);
  ASSERT_FALSE(listing.KeptRows().empty());
  EXPECT_EQ(window.rows(), Expected(listing));
  EXPECT_EQ(server.Paths(), WalkPaths(listing.pages()));  // N + 1 requests, page 1 twice
}

INSTANTIATE_TEST_SUITE_P(Listings, WorkerWalk,
                         testing::Values(WalkCase{"utf8", {.pages = 12, .rowsPerPage = 40}},
                                         WalkCase{"gbk", {.pages = 11, .rowsPerPage = 30, .gbk = true}},
                                         WalkCase{"three digits", {.pages = 105, .rowsPerPage = 2}}),
                         [](const auto& param) {
                           std::string name = param.param.what;
                           for (auto& c : name) c = (c == ' ') ? '_' : c;
                           return name;
                         });

TEST(Worker, UnreachableListingEmptiesTheTableAndEnds) {
  int closedPort;
  {
    sample::SampleListing listing({.pages = 1, .rowsPerPage = 1});
    sample::ListingServer probe(listing);
    closedPort = probe.port();
  }
  MemoryWindow window;
  window.InsertRow();
  CollectProxies(window, Text("http://127.0.0.1:" + std::to_string(closedPort) + "/nn/"));
  EXPECT_TRUE(window.rows().empty());
  EXPECT_EQ(window.captions(), kBothCaptions);
}

TEST(Worker, NoPagerMeansNoPageIsRead) {
  sample::SampleListing listing({.pages = 9, .rowsPerPage = 10});  // no gap in the pager
  sample::ListingServer server(listing);
  MemoryWindow window;
  CollectProxies(window, Text(server.BaseUrl()));
  EXPECT_TRUE(window.rows().empty());
  EXPECT_EQ(window.captions(), kBothCaptions);
  EXPECT_EQ(server.Paths(), WalkPaths(0));
}

TEST(Worker, FailedAndEmptyPagesAddNothingAndTheWalkGoesOn) {
  sample::SampleListing listing({.pages = 12, .rowsPerPage = 30});
  sample::ListingServer server(listing, 0, [](const std::string& path) {
    std::optional<std::pair<int, std::string>> reply;
    if (path == "/nn/2") reply = {{500, ""}};
    if (path == "/nn/5") reply = {{200, "<html><body>nothing here</body></html>"}};
    return reply;
  });
  MemoryWindow window;
  CollectProxies(window, Text(server.BaseUrl()));
  EXPECT_EQ(window.rows(), Expected(listing, {2, 5}));
  EXPECT_EQ(server.Paths(), WalkPaths(12));
  EXPECT_EQ(window.captions(), kBothCaptions);
}

TEST(Worker, TwoWorkersAtOnceBothFinish) {
  sample::SampleListing listing({.pages = 12, .rowsPerPage = 40});
  sample::ListingServer server(listing);
  MemoryWindow window;
  Text url(server.BaseUrl());
  std::thread first([&] { CollectProxies(window, url); });
  std::thread second([&] { CollectProxies(window, url); });
  first.join();
  second.join();

  std::vector<std::string> captions = window.captions();
  ASSERT_EQ(captions.size(), 4u);
  EXPECT_EQ(captions.back(), "采集完毕！");
  // A later worker's emptying removes the earlier one's rows so far, and rows
  // written across it may mix cells of different rows: each cell is one of its
  // column's values among the kept rows.
  const auto allowed = AllowedCellValues(listing, 2);
  std::vector<Row> rows = window.rows();
  EXPECT_GE(rows.size(), listing.KeptRows().size());
  EXPECT_LE(rows.size(), 2 * listing.KeptRows().size());
  for (const auto& row : rows) {
    for (std::size_t c = 0; c < 8; ++c) EXPECT_TRUE(allowed[c].count(row[c])) << c << ": " << row[c];
  }
}

}  // namespace
}  // namespace velmora
