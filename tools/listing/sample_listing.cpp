#include "tools/listing/sample_listing.h"

#include <array>
#include <cstdint>
#include <string_view>

#include "text/charset.h"

namespace velmora::sample {

namespace {

// A title and whether the worker keeps a row with it (below the limit by more
// than the tolerance, or not a number at all, which reads as 0).
struct Title {
  std::string_view text;
  bool passes;
};

constexpr std::array<Title, 8> kSpeeds{{
    {"0.52秒", true},
    {"1.9秒", true},
    {"2.9999998秒", true},
    {"2.99999995秒", false},
    {"3秒", false},
    {"3.5秒", false},
    {"未知", true},
    {"0.1秒", true},
}};

constexpr std::array<Title, 5> kConnectTimes{{
    {"0.05秒", true},
    {"0.9999998秒", true},
    {"1秒", false},
    {"1.5秒", false},
    {"0.3秒", true},
}};

constexpr std::array<std::string_view, 6> kPlaces{
    {"江苏南京", "广东深圳", "浙江杭州", "北京", "四川成都", "湖北武汉"}};
constexpr std::array<std::string_view, 4> kPorts{{"80", "8080", "3128", "9999"}};

// What a row is made of; the pattern must take the first kind only.
enum class RowKind { kHighAnonymity, kTransparent, kMissingBar, kBadType };

class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ULL + 1) {}
  std::uint32_t Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 7;
    state_ ^= state_ << 17;
    return static_cast<std::uint32_t>(state_ >> 11);
  }
  std::uint32_t Below(std::uint32_t n) { return Next() % n; }

 private:
  std::uint64_t state_;
};

std::string Bar(std::string_view title, int width, bool withBar) {
  std::string out = "  <td>\n";
  if (withBar) {
    out += "    <div title=\"";
    out += title;
    out += "\" class=\"bar\">\n      <div class=\"bar_inner fast\" style=\"width:";
    out += std::to_string(width);
    out += "%\">\n        \n      </div>\n    </div>\n";
  } else {
    out += "    ";
    out += title;
    out += "\n";
  }
  out += "  </td>\n";
  return out;
}

// Renders one row, and gives the kept row when the worker must keep it.
std::string RenderRow(Random& random, int page, int index, std::vector<KeptRow>* kept) {
  std::uint32_t kindRoll = random.Below(20);
  RowKind kind = kindRoll < 12   ? RowKind::kHighAnonymity
                 : kindRoll < 18 ? RowKind::kTransparent
                 : kindRoll < 19 ? RowKind::kMissingBar
                                 : RowKind::kBadType;
  KeptRow row;
  row.page = page;
  row.ip = std::to_string(1 + random.Below(223)) + "." + std::to_string(random.Below(256)) + "." +
           std::to_string(random.Below(256)) + "." + std::to_string(1 + random.Below(254));
  row.port = kPorts[random.Below(kPorts.size())];
  std::string_view place = kPlaces[random.Below(kPlaces.size())];
  std::uint32_t locationRoll = random.Below(10);
  std::string locationCell;
  if (locationRoll < 5) {
    locationCell = "<a href=\"/2026-12-" + std::to_string(1 + index % 28) + "/" +
                   std::to_string(page) + "\">" + std::string(place) + "</a>";
    row.location = place;
  } else if (locationRoll < 9) {
    locationCell = std::string(place);
    row.location = place;
  } else {
    locationCell = "<a href=\"/unknown\"></a>";  // a link with empty text
  }
  std::uint32_t typeRoll = random.Below(10);
  row.type = typeRoll < 6 ? "HTTP" : typeRoll < 9 ? "HTTPS" : "http";
  if (kind == RowKind::kBadType) row.type = "socks4";
  const Title& speed = kSpeeds[random.Below(kSpeeds.size())];
  const Title& connect = kConnectTimes[random.Below(kConnectTimes.size())];
  row.speed = speed.text;
  row.connectTime = connect.text;
  row.verified = "26-12-" + std::to_string(10 + random.Below(2)) + " " +
                 std::to_string(10 + random.Below(14)) + ":" + std::to_string(10 + random.Below(50));

  std::string anonymity = kind == RowKind::kTransparent ? (random.Below(2) ? "透明" : "普匿") : "高匿";
  std::string out = "<tr class=\"odd\">\n  <td class=\"country\"><img src=\"/img/cn.png\" alt=\"Cn\" /></td>\n";
  out += "  <td>" + row.ip + "</td>\n";
  out += "  <td>" + row.port + "</td>\n";
  out += "  <td>\n    " + locationCell + "\n  </td>\n";
  out += "  <td>" + anonymity + "</td>\n";
  out += "  <td>" + row.type + "</td>\n";
  out += Bar(speed.text, static_cast<int>(random.Below(100)), kind != RowKind::kMissingBar);
  out += Bar(connect.text, static_cast<int>(random.Below(100)), true);
  out += "  <td>" + row.verified + "</td>\n</tr>\n";

  if (kind == RowKind::kHighAnonymity && speed.passes && connect.passes) kept->push_back(row);
  return out;
}

std::string PageHtml(const Options& options, const std::string& rows, const std::string& pager) {
  std::string out =
      "<!DOCTYPE html>\n<html>\n<head>\n<meta http-equiv=\"Content-Type\" content=\"text/html; "
      "charset=";
  out += options.gbk ? "gbk" : "utf-8";
  out +=
      "\" />\n<title>国内高匿代理IP</title>\n</head>\n<body>\n<table id=\"ip_list\">\n"
      "<tr class=\"subtitle\">\n  <th class=\"country\">国家</th>\n  <th>IP地址</th>\n"
      "  <th>端口</th>\n  <th>服务器地址</th>\n  <th class=\"country\">是否匿名</th>\n"
      "  <th>类型</th>\n  <th class=\"country\">速度</th>\n  <th class=\"country\">连接时间</th>\n"
      "  <th>验证时间</th>\n</tr>\n";
  out += rows;
  out += "</table>\n";
  out += pager;
  out += "</body>\n</html>\n";
  return options.gbk ? ConvertCharset(out, "UTF-8", "GBK").value_or(out) : out;
}

}  // namespace

std::string PagerHtml(int pages) {
  std::string out = "<div class=\"pagination\"><span class=\"previous_page disabled\">上一页</span>";
  out += " <em class=\"current\">1</em>";
  for (int i = 2; i <= pages && i <= 9; ++i) {
    out += std::string(i == 2 ? " <a rel=\"next\" href=\"/nn/" : " <a href=\"/nn/") +
           std::to_string(i) + "\">" + std::to_string(i) + "</a>";
  }
  if (pages >= 11) {
    out += " <span class=\"gap\">...</span>";
    for (long long i = pages - 1LL; i <= pages; ++i) {
      out += " <a href=\"/nn/" + std::to_string(i) + "\">" + std::to_string(i) + "</a>";
    }
  } else {
    for (int i = 10; i <= pages; ++i) {
      out += " <a href=\"/nn/" + std::to_string(i) + "\">" + std::to_string(i) + "</a>";
    }
  }
  if (pages >= 2) out += " <a class=\"next_page\" rel=\"next\" href=\"/nn/2\">下一页</a>";
  out += "</div>\n";
  return out;
}

SampleListing::SampleListing(Options options) : options_(options) {
  pages_.reserve(static_cast<std::size_t>(options_.pages > 0 ? options_.pages : 0));
  std::string firstRows;
  for (int page = 1; page <= options_.pages; ++page) {
    Random random(static_cast<std::uint64_t>(page));
    std::string rows;
    for (int index = 0; index < options_.rowsPerPage; ++index) {
      rows += RenderRow(random, page, index, &kept_);
    }
    if (page == 1) firstRows = rows;
    pages_.push_back(PageHtml(options_, rows, ""));
  }
  firstPage_ = PageHtml(options_, firstRows, PagerHtml(options_.pages));
}

const std::string& SampleListing::Page(int i) const {
  static const std::string none;
  if (i < 1 || i > static_cast<int>(pages_.size())) return none;
  return pages_[static_cast<std::size_t>(i - 1)];
}

std::string SampleListing::ContentType() const {
  return options_.gbk ? "text/html; charset=gbk" : "text/html; charset=utf-8";
}

}  // namespace velmora::sample
