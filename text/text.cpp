#include "text/text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

namespace velmora {

namespace {

using Byte = unsigned char;

constexpr Byte kFullWidthLead = 0xA1;  // 0xA1 0xA1 is the full-width space
constexpr Byte kFullWidthAsciiLead = 0xA3;

bool IsLead(Byte b) { return b >= 0x80; }

Byte FoldCase(Byte b) { return (b >= 'A' && b <= 'Z') ? static_cast<Byte>(b + 32) : b; }

// Length of the character starting at byte i: 2 for a lead byte with a follower,
// 1 otherwise (a lone lead byte at the end counts as one).
std::size_t CharLength(std::string_view s, std::size_t i) {
  return (IsLead(static_cast<Byte>(s[i])) && i + 1 < s.size()) ? 2 : 1;
}

bool IsLoneLeadAt(std::string_view s, std::size_t i) {
  return IsLead(static_cast<Byte>(s[i])) && i + 1 == s.size();
}

bool IsSpaceAt(std::string_view s, std::size_t i) {
  if (s[i] == ' ') return true;
  return static_cast<Byte>(s[i]) == kFullWidthLead && i + 1 < s.size() &&
         static_cast<Byte>(s[i + 1]) == kFullWidthLead;
}

bool MatchesAt(std::string_view s, std::size_t i, std::string_view needle, bool ignoreCase) {
  if (needle.size() > s.size() - i) return false;
  if (!ignoreCase) return std::memcmp(s.data() + i, needle.data(), needle.size()) == 0;
  for (std::size_t k = 0; k < needle.size(); ++k) {
    if (FoldCase(static_cast<Byte>(s[i + k])) != FoldCase(static_cast<Byte>(needle[k]))) {
      return false;
    }
  }
  return true;
}

// The character-stepping scan shared by the searches: calls `found(i)` at every
// character start from `begin` up to `end` where the needle fits and matches,
// until it returns false.
template <typename Found>
void ScanOccurrences(std::string_view s, std::size_t begin, std::size_t end,
                     std::string_view needle, bool ignoreCase, Found found) {
  std::string_view span = s.substr(0, end);
  for (std::size_t i = begin; i < end;) {
    if (MatchesAt(span, i, needle, ignoreCase) && !found(i)) return;
    if (IsLoneLeadAt(span, i)) return;
    i += CharLength(span, i);
  }
}

// The text with full-width forms turned into their ASCII counterparts, as far as
// a number can reach: it stops at the first byte that cannot be part of one.
std::string NumberPrefix(std::string_view s) {
  std::string out;
  for (std::size_t i = 0; i < s.size();) {
    Byte b = static_cast<Byte>(s[i]);
    if (IsLead(b)) {
      if (i + 1 >= s.size()) break;
      Byte follower = static_cast<Byte>(s[i + 1]);
      if (b == kFullWidthAsciiLead && follower >= 0xA1 && follower <= 0xFE) {
        out += static_cast<char>(follower - 0x80);
      } else if (b == kFullWidthLead && follower == kFullWidthLead) {
        out += ' ';
      } else {
        break;
      }
      i += 2;
    } else {
      out += static_cast<char>(b);
      ++i;
    }
  }
  return out;
}

bool IsWhite(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::size_t SkipWhite(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size() && IsWhite(s[i])) ++i;
  return i;
}

std::size_t SkipDigits(std::string_view s, std::size_t i) {
  while (i < s.size() && IsDigit(s[i])) ++i;
  return i;
}

}  // namespace

Text::Text(const char* cString) : bytes_(cString ? cString : "") {}

Text::Text(std::string_view bytes) : bytes_(bytes.substr(0, bytes.find('\0'))) {}

Text::Text(std::string&& bytes) : bytes_(std::move(bytes)) {
  if (auto zero = bytes_.find('\0'); zero != std::string::npos) bytes_.resize(zero);
}

int TextLength(const Text& text) { return text.size(); }

Text TextLeft(const Text& text, int n) {
  if (n <= 0) return Text();
  return Text(text.view().substr(0, static_cast<std::size_t>(n)));
}

Text TextRight(const Text& text, int n) {
  if (n <= 0) return Text();
  std::size_t take = std::min(static_cast<std::size_t>(n), text.view().size());
  return Text(text.view().substr(text.view().size() - take));
}

Text TextMid(const Text& text, int start, int n) {
  if (start < 1 || start > text.size() || n <= 0) return Text();
  return Text(text.view().substr(static_cast<std::size_t>(start - 1), static_cast<std::size_t>(n)));
}

Text CharFromCode(int code) {
  char c = static_cast<char>(code & 0xFF);
  return Text(std::string_view(&c, 1));
}

int CompareText(const Text& a, const Text& b) {
  auto order = a <=> b;  // std::string compares as unsigned char
  return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

Text BlankText(int n) {
  if (n < 1) return Text();
  return Text(std::string(static_cast<std::size_t>(n), ' '));
}

int FindText(const Text& text, const Text& needle, int startPosition, bool ignoreCase) {
  std::string_view s = text.view();
  std::size_t begin = startPosition <= 1 ? 0 : static_cast<std::size_t>(startPosition - 1);
  if (begin >= s.size()) return -1;
  if (needle.empty()) return 1;
  int position = -1;
  ScanOccurrences(s, begin, s.size(), needle.view(), ignoreCase, [&](std::size_t i) {
    position = static_cast<int>(i) + 1;
    return false;
  });
  return position;
}

int FindTextBackward(const Text& text, const Text& needle, std::optional<int> startPosition,
                     bool ignoreCase) {
  std::string_view s = text.view();
  std::size_t end = s.size();
  if (startPosition) {
    end = *startPosition <= 1 ? 0 : std::min(end, static_cast<std::size_t>(*startPosition - 1));
  }
  if (end == 0) return -1;
  if (needle.empty()) return 1;
  int position = -1;
  ScanOccurrences(s, 0, end, needle.view(), ignoreCase, [&](std::size_t i) {
    position = static_cast<int>(i) + 1;
    return true;
  });
  return position;
}

Text ToLowerCase(const Text& text) {
  std::string out(text.view());
  for (std::size_t i = 0; i < out.size(); i += CharLength(out, i)) {
    out[i] = static_cast<char>(FoldCase(static_cast<Byte>(out[i])));
  }
  return Text(std::move(out));
}

Text TrimSpaces(const Text& text) {
  std::string_view s = text.view();
  // Find the first and the end of the last non-space character, stepping by character.
  std::size_t first = std::string_view::npos, last = 0;
  for (std::size_t i = 0; i < s.size();) {
    if (IsLoneLeadAt(s, i)) break;
    std::size_t len = CharLength(s, i);
    if (!IsSpaceAt(s, i)) {
      if (first == std::string_view::npos) first = i;
      last = i + len;
    }
    i += len;
  }
  if (first == std::string_view::npos) return Text();
  return Text(s.substr(first, last - first));
}

Text RemoveSpaces(const Text& text) {
  std::string_view s = text.view();
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size();) {
    if (IsLoneLeadAt(s, i)) break;
    std::size_t len = CharLength(s, i);
    if (!IsSpaceAt(s, i)) out.append(s, i, len);
    i += len;
  }
  return Text(std::move(out));
}

Text ReplaceText(const Text& text, const Text& old, const Text& replacement, int startPosition,
                 int count, bool caseSensitive) {
  std::string_view s = text.view();
  std::size_t begin = startPosition <= 1 ? 0 : static_cast<std::size_t>(startPosition - 1);
  if (s.empty() || old.empty() || begin >= s.size() || count == 0) return text;
  std::string out(s.substr(0, begin));
  out.reserve(s.size());
  std::string_view needle = old.view();
  long remaining = count < 0 ? -1 : count;
  for (std::size_t i = begin; i < s.size();) {
    if (remaining != 0 && MatchesAt(s, i, needle, !caseSensitive)) {
      out += replacement.view();
      i += needle.size();
      if (remaining > 0) --remaining;
      continue;
    }
    if (IsLoneLeadAt(s, i)) break;
    std::size_t len = CharLength(s, i);
    out.append(s, i, len);
    i += len;
  }
  return Text(std::move(out));
}

TextArray SplitText(const Text& text, const Text& separator, int maxCount) {
  TextArray items;
  std::string_view s = text.view();
  if (s.empty() || maxCount == 0) return items;
  if (separator.empty()) {
    items.push_back(text);
    return items;
  }
  auto full = [&] { return maxCount > 0 && static_cast<int>(items.size()) >= maxCount; };
  std::string_view sep = separator.view();
  std::size_t pieceStart = 0;
  for (std::size_t i = 0; i < s.size() && !full();) {
    if (MatchesAt(s, i, sep, false)) {
      items.emplace_back(s.substr(pieceStart, i - pieceStart));
      i += sep.size();
      pieceStart = i;
    } else {
      i += CharLength(s, i);
    }
  }
  if (!full() && pieceStart < s.size()) items.emplace_back(s.substr(pieceStart));
  return items;
}

double ToNumber(const Text& text) {
  std::string prefix = NumberPrefix(text.view());
  std::string_view s = prefix;
  std::size_t i = SkipWhite(s);
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  std::size_t digitsStart = i;
  i = SkipDigits(s, i);
  bool digits = i > digitsStart;
  if (i < s.size() && s[i] == '.') {
    std::size_t fractionStart = i + 1;
    std::size_t fractionEnd = SkipDigits(s, fractionStart);
    if (digits || fractionEnd > fractionStart) {
      digits = true;
      i = fractionEnd;
    }
  }
  if (!digits) return 0.0;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    std::size_t k = i + 1;
    if (k < s.size() && (s[k] == '+' || s[k] == '-')) ++k;
    std::size_t exponentEnd = SkipDigits(s, k);
    if (exponentEnd > k) i = exponentEnd;
  }
  double value = 0.0;
  if (std::from_chars(s.data() + digitsStart, s.data() + i, value).ec ==
      std::errc::result_out_of_range) {
    // from_chars leaves the value alone on range errors: underflow reads as 0,
    // overflow as infinity, as strtod gives them.
    auto e = s.find_first_of("eE", digitsStart);
    bool underflow = e < i && s[e + 1] == '-';
    value = underflow ? 0.0 : std::numeric_limits<double>::infinity();
  }
  return negative ? -value : value;
}

std::int32_t ToInteger(const Text& text) {
  std::string prefix = NumberPrefix(text.view());
  std::string_view s = prefix;
  std::size_t i = SkipWhite(s);
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
  constexpr std::int64_t kMin = std::numeric_limits<std::int32_t>::min();
  std::int64_t value = 0;
  for (; i < s.size() && IsDigit(s[i]); ++i) {
    value = std::min<std::int64_t>(value * 10 + (s[i] - '0'), kMax + 1);
  }
  if (negative) return static_cast<std::int32_t>(std::max(-value, kMin));
  return static_cast<std::int32_t>(std::min(value, kMax));
}

Text IntToText(std::int64_t n) { return Text(std::to_string(n)); }

Bytes TextToBytes(const Text& text) { return Bytes(text.view()); }

Text BytesToText(const Bytes& bytes) { return Text(bytes.view()); }

int BytesLength(const Bytes& bytes) { return bytes.size(); }

Bytes BlankBytes(int n) {
  if (n <= 0) return Bytes();
  return Bytes(std::string(static_cast<std::size_t>(n), '\0'));
}

Bytes BytesLeft(const Bytes& bytes, int n) {
  if (n <= 0) return Bytes();
  return Bytes(bytes.view().substr(0, static_cast<std::size_t>(n)));
}

int FindBytes(const Bytes& bytes, const Bytes& needle) {
  if (needle.empty()) return -1;
  auto found = bytes.view().find(needle.view());
  return found == std::string_view::npos ? -1 : static_cast<int>(found) + 1;
}

bool BytesEqual(const Bytes& a, const Bytes& b) { return a == b; }

}  // namespace velmora
