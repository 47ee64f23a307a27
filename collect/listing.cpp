#include "collect/listing.h"

#include "text/charset.h"

#ifndef VELMORA_LISTING_BASE_URL
#define VELMORA_LISTING_BASE_URL "http://127.0.0.1:8089/nn/"
#endif

namespace velmora {

const Text& ListingBaseUrl() {
  static const Text url(VELMORA_LISTING_BASE_URL);
  return url;
}

const Text& PagerStartMarker() {
  static const Text marker = Utf8ToGbk(
      "上一页</span> <em class=\"current\">1</em> <a rel=\"next\" href=\"/nn/2\">2</a> "
      "<a href=\"/nn/3\">3</a> <a href=\"/nn/4\">4</a> <a href=\"/nn/5\">5</a> "
      "<a href=\"/nn/6\">6</a> <a href=\"/nn/7\">7</a> <a href=\"/nn/8\">8</a> "
      "<a href=\"/nn/9\">9</a> <span class=\"gap\">...</span>");
  return marker;
}

const Text& PagerEndMarker() {
  static const Text marker =
      Utf8ToGbk("<a class=\"next_page\" rel=\"next\" href=\"/nn/2\">下一页");
  return marker;
}

const Text& RowPattern() {
  static const Text pattern = Utf8ToGbk(
      R"re(<td>(\d+\.\d+\.\d+\.\d+)</td>\s+<td>(\d+)</td>\s+)re"
      R"re(<td>\s+(<a href=".*?">(.*?)</a>|(.*?))\s+</td>\s+<td>高匿</td>\s+<td>([A-Z]+)</td>\s+)re"
      R"re(<td>\s+<div title="(.*?)" class="bar">\s+<div class="bar_inner .*?" style="width:.*?%">)re"
      R"re(\s+</div>\s+</div>\s+</td>\s+)re"
      R"re(<td>\s+<div title="(.*?)" class="bar">\s+<div class="bar_inner .*?" style="width:.*?%">)re"
      R"re(\s+</div>\s+</div>\s+</td>\s+<td>(.*?)</td>)re");
  return pattern;
}

const Text& CollectingCaption() {
  static const Text caption = Utf8ToGbk("采集中......");
  return caption;
}

const Text& DoneCaption() {
  static const Text caption = Utf8ToGbk("采集完毕！");
  return caption;
}

}  // namespace velmora
