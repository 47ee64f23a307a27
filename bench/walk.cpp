// The listing walk end to end, on one sample listing server on 127.0.0.1:
//   floor    the curl command-line tool fetching the same N + 1 addresses in one
//            process over one kept-alive connection, bodies thrown away;
//   headless CollectProxies into a table in memory;
//   window   CollectProxies on a worker thread into the real MainWindow
//            (offscreen platform), every operation handed to the window's thread,
//            while a 10 ms timer on that thread records how late it fires;
//   blocking the same with every operation an ordinary blocking queued call
//            instead of the window's own hand-off, for comparison.
// The three run in turn, interleaved over several rounds; the medians per page,
// their ratios, the rows kept, the connections the server saw, a breakdown of
// one headless page and the memory of a 100,000-row table are printed.
//
//   walk [--pages=300] [--rows=100] [--rounds=3] [--fill=100000]
#include <malloc.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTableView>
#include <QTimer>
#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/main_window.h"
#include "collect/collector.h"
#include "collect/listing.h"
#include "fetch/fetch_page.h"
#include "fetch/transcode.h"
#include "regex/regex_object.h"
#include "text/charset.h"
#include "text/text.h"
#include "tools/listing/listing_server.h"

extern char** environ;

namespace velmora {
namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

struct Settings {
  int pages = 300;
  int rows = 100;
  int rounds = 3;
  int fill = 100000;
};

Settings ParseArguments(int argc, char** argv) {
  Settings s;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&a](const char* name, int& into) {
      const std::string prefix = std::string("--") + name + "=";
      if (a.rfind(prefix, 0) != 0) return false;
      into = std::atoi(a.c_str() + prefix.size());
      return true;
    };
    if (!value("pages", s.pages) && !value("rows", s.rows) && !value("rounds", s.rounds) &&
        !value("fill", s.fill)) {
      std::fprintf(stderr, "walk: unknown argument %s\n", a.c_str());
      std::exit(2);
    }
  }
  return s;
}

// The table and label in memory, for one worker: no locks, nothing shown.
class MemoryWindow final : public CollectorWindow {
 public:
  void DeleteAllRows() override { rows_.clear(); }
  int InsertRow() override {
    rows_.emplace_back();
    return static_cast<int>(rows_.size()) - 1;
  }
  int RowCount() override { return static_cast<int>(rows_.size()); }
  void SetCellText(int row, int column, const Text& text) override {
    if (row < 0 || row >= RowCount() || column < 0 || column > 7) return;
    rows_[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)] = text;
  }
  void SetLabelCaption(const Text& text) override { caption_ = text; }

  const std::vector<std::array<Text, 8>>& rows() const { return rows_; }

 private:
  std::vector<std::array<Text, 8>> rows_;
  Text caption_;
};

// The N + 1 addresses a walk fetches, in its order.
std::vector<std::string> WalkUrls(const std::string& base, int pages) {
  std::vector<std::string> urls{base};
  for (int i = 1; i <= pages; ++i) urls.push_back(base + std::to_string(i));
  return urls;
}

// curl fetching every address in one process, one after another; the wall time
// of the whole process, or a negative value when curl failed.
double CurlFloor(const std::vector<std::string>& urls, const std::string& configPath) {
  {
    std::ofstream config(configPath, std::ios::trunc);
    for (const std::string& url : urls)
      config << "url = \"" << url << "\"\noutput = \"/dev/null\"\n";
  }
  std::vector<std::string> args = {"curl",   "--silent", "--show-error",
                                   "--fail", "--config", configPath};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  const auto start = Clock::now();
  pid_t pid = 0;
  if (posix_spawnp(&pid, "curl", nullptr, nullptr, argv.data(), environ) != 0) return -1;
  int status = 0;
  waitpid(pid, &status, 0);
  const double took = Seconds(Clock::now() - start);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? took : -1;
}

double HeadlessWalk(const std::string& base, std::vector<std::array<Text, 8>>* rows) {
  MemoryWindow table;
  const auto start = Clock::now();
  CollectProxies(table, Text(base));
  const double took = Seconds(Clock::now() - start);
  *rows = table.rows();
  return took;
}

// True when the window's table holds exactly `rows`, cell for cell.
bool WindowHolds(MainWindow& window, const std::vector<std::array<Text, 8>>& rows) {
  if (window.RowCount() != static_cast<int>(rows.size())) return false;
  for (int r = 0; r < window.RowCount(); ++r) {
    for (int c = 0; c < 8; ++c) {
      if (window.GetCellText(r, c) !=
          rows[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)]) {
        return false;
      }
    }
  }
  return true;
}

// The hand-off as it was before bursts: every operation an ordinary blocking
// queued call to the window's thread, where the window then acts at once.
class BlockingQueuedWindow final : public CollectorWindow {
 public:
  explicit BlockingQueuedWindow(MainWindow& window) : window_(window) {}
  void DeleteAllRows() override {
    Call([this] { window_.DeleteAllRows(); });
  }
  int InsertRow() override {
    int r = -1;
    Call([&] { r = window_.InsertRow(); });
    return r;
  }
  int RowCount() override {
    int n = 0;
    Call([&] { n = window_.RowCount(); });
    return n;
  }
  void SetCellText(int row, int column, const Text& text) override {
    Call([&] { window_.SetCellText(row, column, text); });
  }
  void SetLabelCaption(const Text& text) override {
    Call([&] { window_.SetLabelCaption(text); });
  }

 private:
  template <typename F>
  void Call(F f) {
    QMetaObject::invokeMethod(&window_, f, Qt::BlockingQueuedConnection);
  }
  MainWindow& window_;
};

struct WindowRun {
  double seconds = 0;
  double worstLatenessMs = 0;
  int ticks = 0;
  int batches = 0;  // row announcements the view received
  int paints = 0;   // paints of the table's row area
};

// Counts the paint events of one widget.
class PaintCounter final : public QObject {
 public:
  int paints = 0;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++paints;
    return QObject::eventFilter(watched, event);
  }
};

// The walk on a worker thread into `target` (the window itself, or the window
// through another hand-off) while this thread serves the window.
WindowRun WindowWalk(MainWindow& window, CollectorWindow& target, const std::string& base) {
  WindowRun run;
  auto* table = window.findChild<QTableView*>(QStringLiteral("超级列表框1"));
  PaintCounter counter;
  QMetaObject::Connection batches;
  if (table) {
    table->viewport()->installEventFilter(&counter);
    batches = QObject::connect(table->model(), &QAbstractItemModel::rowsInserted,
                               [&run] { ++run.batches; });
  }
  QEventLoop loop;
  QElapsedTimer clock;
  qint64 last = -1;
  QTimer tick;
  tick.setTimerType(Qt::PreciseTimer);
  tick.setInterval(10);
  QObject::connect(&tick, &QTimer::timeout, [&] {
    const qint64 now = clock.nsecsElapsed();
    if (last >= 0) {
      run.worstLatenessMs = std::max(run.worstLatenessMs, (now - last) / 1e6 - 10.0);
    }
    last = now;
    ++run.ticks;
  });
  clock.start();
  tick.start();
  const auto start = Clock::now();
  std::thread worker([&] {
    CollectProxies(target, Text(base));
    run.seconds = Seconds(Clock::now() - start);
    QMetaObject::invokeMethod(
        &loop, [&loop] { loop.quit(); }, Qt::QueuedConnection);
  });
  loop.exec();
  worker.join();
  tick.stop();
  QObject::disconnect(batches);
  run.paints = counter.paints;
  return run;
}

long StatusKilobytes(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  const std::size_t n = std::strlen(field);
  while (std::getline(status, line)) {
    if (line.compare(0, n, field) == 0 && line.size() > n && line[n] == ':') {
      return std::atol(line.c_str() + n + 1);
    }
  }
  return -1;
}

std::string CpuModel() {
  std::ifstream cpuinfo("/proc/cpuinfo");
  std::string line;
  while (std::getline(cpuinfo, line)) {
    if (line.rfind("model name", 0) == 0) {
      const std::size_t colon = line.find(':');
      if (colon != std::string::npos) return line.substr(colon + 2);
    }
  }
  return "unknown";
}

// Bytes in use on the main thread's heap, large blocks given by mmap included.
std::size_t HeapInUse() {
  const struct mallinfo2 m = mallinfo2();
  return m.uordblks + m.hblkhd;
}

// Lets the window lay out and paint what it holds.
void Settle(QWidget& window) {
  for (int i = 0; i < 5; ++i) QApplication::processEvents();
  (void)window.grab();
  QApplication::processEvents();
}

// Bytes a row of `rows` kept rows costs in the window above the empty window.
double BytesPerRow(const sample::SampleListing& listing, int rows) {
  const auto& kept = listing.KeptRows();
  std::vector<std::array<Text, 7>> cells;
  for (const auto& k : kept) {
    cells.push_back({Utf8ToGbk(k.ip), Utf8ToGbk(k.port), Utf8ToGbk(k.location), Utf8ToGbk(k.type),
                     Utf8ToGbk(k.speed), Utf8ToGbk(k.connectTime), Utf8ToGbk(k.verified)});
  }
  MainWindow window{Text("http://127.0.0.1:1/nn/")};
  window.show();
  Settle(window);
  malloc_trim(0);
  const std::size_t before = HeapInUse();
  for (int i = 0; i < rows; ++i) {
    const int r = window.InsertRow();
    window.SetCellText(r, 0, IntToText(window.RowCount()));
    const auto& row = cells[static_cast<std::size_t>(i) % cells.size()];
    for (int c = 1; c < 8; ++c) window.SetCellText(r, c, row[static_cast<std::size_t>(c - 1)]);
  }
  Settle(window);
  const std::size_t after = HeapInUse();
  return (static_cast<double>(after) - static_cast<double>(before)) / rows;
}

// One headless page at a time, split into its steps, medians over every page.
void Breakdown(const sample::SampleListing& listing, const std::string& base) {
  std::vector<double> fetch, convert, match, write;
  RegexObject regex;
  MemoryWindow table;
  for (int i = 1; i <= listing.pages(); ++i) {
    auto t0 = Clock::now();
    Text page = FetchPage(Text(base + std::to_string(i)));
    auto t1 = Clock::now();
    Bytes converted = TranscodeBytes(Bytes(std::string_view(listing.Page(i))));
    auto t2 = Clock::now();
    // Matching and extraction of every group the worker reads, kept aside so
    // that the table writes can be timed on their own.
    regex.Create(RowPattern(), page);
    std::vector<std::array<Text, 8>> kept;
    const int matches = regex.MatchCount();
    for (int j = 1; j <= matches; ++j) {
      if (!(ToNumber(regex.SubmatchText(j, 7)) - kSpeedLimit < -kCompareTolerance)) continue;
      if (!(ToNumber(regex.SubmatchText(j, 8)) - kConnectTimeLimit < -kCompareTolerance)) continue;
      Text location = regex.SubmatchText(j, 4);
      kept.push_back({Text(), regex.SubmatchText(j, 1), regex.SubmatchText(j, 2),
                      location.empty() ? regex.SubmatchText(j, 5) : location,
                      regex.SubmatchText(j, 6), regex.SubmatchText(j, 7), regex.SubmatchText(j, 8),
                      regex.SubmatchText(j, 9)});
    }
    auto t3 = Clock::now();
    for (const auto& row : kept) {
      const int r = table.InsertRow();
      table.SetCellText(r, 0, IntToText(table.RowCount()));
      for (int c = 1; c < 8; ++c) table.SetCellText(r, c, row[static_cast<std::size_t>(c)]);
    }
    auto t4 = Clock::now();
    if (converted.size() == 0) std::fprintf(stderr, "walk: page %d did not convert\n", i);
    fetch.push_back(Seconds(t1 - t0));
    convert.push_back(Seconds(t2 - t1));
    match.push_back(Seconds(t3 - t2));
    write.push_back(Seconds(t4 - t3));
  }
  std::printf("one headless page (median over %d pages):\n", listing.pages());
  std::printf("  fetch, whole           %8.1f us\n", Median(fetch) * 1e6);
  std::printf("    of it UTF-8 to GBK   %8.1f us\n", Median(convert) * 1e6);
  std::printf("  matching, extraction   %8.1f us\n", Median(match) * 1e6);
  std::printf("  table writes           %8.1f us\n", Median(write) * 1e6);
}

int Run(int argc, char** argv) {
  const Settings s = ParseArguments(argc, argv);
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  InitializeFetch();
  QApplication app(argc, argv);

  sample::SampleListing listing({.pages = s.pages, .rowsPerPage = s.rows});
  sample::ListingServer server(listing);
  if (!server.ok()) {
    std::fprintf(stderr, "walk: the listing server did not start\n");
    return 1;
  }
  const std::string base = server.BaseUrl();
  const std::vector<std::string> urls = WalkUrls(base, s.pages);
  const double requests = static_cast<double>(urls.size());
  const std::size_t want = listing.KeptRows().size();
  char configPath[] = "/tmp/velmora-walk-XXXXXX";
  const int configFd = mkstemp(configPath);
  if (configFd < 0) return 1;
  close(configFd);

  MainWindow window{Text(base)};
  window.show();
  Settle(window);

  BlockingQueuedWindow blocking(window);
  std::vector<double> floor, headless, windowed, blocked;
  double worstLatenessBlocking = 0;
  double worstLateness = 0;
  int ticks = 0;
  int batches = 0, paints = 0;
  std::size_t keptHeadless = 0;
  std::vector<std::array<Text, 8>> headlessRows;
  int keptWindow = 0;
  bool rowsAgree = true;
  int connections[4] = {0, 0, 0, 0};
  std::size_t paths[4] = {0, 0, 0, 0};
  for (int round = 0; round < s.rounds; ++round) {
    auto measure = [&](int variant, auto&& walk) {
      const int c0 = server.Connections();
      const std::size_t p0 = server.Paths().size();
      walk();
      connections[variant] += server.Connections() - c0;
      paths[variant] += server.Paths().size() - p0;
    };
    measure(0, [&] {
      const double t = CurlFloor(urls, configPath);
      if (t < 0) {
        std::fprintf(stderr, "walk: curl failed\n");
        std::exit(1);
      }
      floor.push_back(t / requests);
    });
    measure(1, [&] {
      headless.push_back(HeadlessWalk(base, &headlessRows) / requests);
      if (round > 0 && headlessRows.size() != keptHeadless) rowsAgree = false;
      keptHeadless = headlessRows.size();
    });
    measure(2, [&] {
      const WindowRun run = WindowWalk(window, window, base);
      windowed.push_back(run.seconds / requests);
      worstLateness = std::max(worstLateness, run.worstLatenessMs);
      ticks += run.ticks;
      batches = run.batches;
      paints = run.paints;
      keptWindow = window.RowCount();
      if (!WindowHolds(window, headlessRows)) rowsAgree = false;
    });
    measure(3, [&] {
      const WindowRun run = WindowWalk(window, blocking, base);
      blocked.push_back(run.seconds / requests);
      worstLatenessBlocking = std::max(worstLatenessBlocking, run.worstLatenessMs);
      if (!WindowHolds(window, headlessRows)) rowsAgree = false;
    });
  }
  std::remove(configPath);
  Settle(window);
  const long peakKb = StatusKilobytes("VmHWM");

  const double f = Median(floor), h = Median(headless), w = Median(windowed);
  std::printf("walk: %d pages of %d rows, %.0f requests per walk, %d rounds\n", s.pages, s.rows,
              requests, s.rounds);
  std::printf("machine: %ld cores, %s\n", sysconf(_SC_NPROCESSORS_ONLN), CpuModel().c_str());
  std::printf("%-10s %12s %12s %12s %12s\n", "variant", "median/page", "min/page", "requests",
              "connections");
  const char* names[4] = {"floor", "headless", "window", "blocking"};
  const std::vector<double>* all[4] = {&floor, &headless, &windowed, &blocked};
  for (int v = 0; v < 4; ++v) {
    std::printf("%-10s %9.1f us %9.1f us %12zu %12d\n", names[v], Median(*all[v]) * 1e6,
                *std::min_element(all[v]->begin(), all[v]->end()) * 1e6, paths[v], connections[v]);
  }
  std::printf("headless / floor    %5.2f  (target <= 2)\n", h / f);
  std::printf("window / headless   %5.2f  (target <= 2)\n", w / h);
  std::printf("window / headless with blocking queued calls (the hand-off before): %.2f\n",
              Median(blocked) / h);
  std::printf("rows kept: headless %zu, window %d, listing %zu: %s\n", keptHeadless, keptWindow,
              want,  // "equal" also means the window's cells are the headless table's
              rowsAgree && keptHeadless == want && static_cast<std::size_t>(keptWindow) == want
                  ? "equal"
                  : "DIFFERENT");
  std::printf("window walk: worst lateness of a 10 ms timer %.1f ms over %d ticks (target <= 50)\n",
              worstLateness, ticks);
  std::printf("  with blocking queued calls: %.1f ms\n", worstLatenessBlocking);
  std::printf("window walk, last round: %d row batches announced, %d paints of the rows\n", batches,
              paints);
  std::printf("peak memory after the window walk, table full: %.1f MB\n", peakKb / 1024.0);
  Breakdown(listing, base);
  if (s.fill > 0) {
    std::printf("table of %d rows: %.0f bytes per row above the empty window (target <= 300)\n",
                s.fill, BytesPerRow(listing, s.fill));
  }
  const bool ok = rowsAgree && keptHeadless == want && static_cast<std::size_t>(keptWindow) == want;
  return ok ? 0 : 1;
}

}  // namespace
}  // namespace velmora

int main(int argc, char** argv) { return velmora::Run(argc, argv); }
