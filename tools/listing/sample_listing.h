// A deterministic proxy listing in the shape the collection worker reads: a first
// page with the pager, and numbered pages of proxy rows of every kind the worker
// must keep or reject. Used by the sample listing server, the tests and the
// benchmarks; it also knows which rows a correct run keeps.
#pragma once

#include <string>
#include <vector>

namespace velmora::sample {

struct Options {
  int pages = 20;        // the last page number the pager names
  int rowsPerPage = 100;
  bool gbk = false;      // serve GBK instead of UTF-8 (the meta charset follows)
};

// A kept row as the table shows it, columns 1 to 7, in UTF-8, and the page it
// stands on.
struct KeptRow {
  std::string ip, port, location, type, speed, connectTime, verified;
  int page = 0;
};

class SampleListing {
 public:
  explicit SampleListing(Options options = {});

  int pages() const { return options_.pages; }
  const Options& options() const { return options_; }
  // The bodies served at "/nn/" and at "/nn/<i>" for i from 1 to pages().
  const std::string& FirstPage() const { return firstPage_; }
  const std::string& Page(int i) const;
  // The rows a correct run keeps, in order (the first page yields none).
  const std::vector<KeptRow>& KeptRows() const { return kept_; }
  std::string ContentType() const;

 private:
  Options options_;
  std::string firstPage_;
  std::vector<std::string> pages_;
  std::vector<KeptRow> kept_;
};

// The first page's pager for a listing of `pages` pages: links to pages 2 to 9,
// the gap, links to the last two pages. Below 11 pages there is no gap, and the
// worker then reads no page count, as on the real site.
std::string PagerHtml(int pages);

}  // namespace velmora::sample
