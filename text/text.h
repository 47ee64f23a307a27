// Text values and the operations on them.
//
// A Text is a byte string in GBK (Windows code page 936) that never holds a zero
// byte. Lengths count bytes, positions are 1-based byte positions, and a search
// that finds nothing gives -1. A byte of 0x80 or above and the byte after it form
// one two-byte character. Bytes may hold anything, zeros included.
#pragma once

#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

class Text {
 public:
  Text() = default;
  // Both constructors stop at the first zero byte, so a Text never holds one.
  Text(const char* cString);  // NOLINT(google-explicit-constructor): literals read naturally
  explicit Text(std::string_view bytes);
  explicit Text(std::string&& bytes);

  std::string_view view() const noexcept { return bytes_; }
  const std::string& str() const noexcept { return bytes_; }
  const char* c_str() const noexcept { return bytes_.c_str(); }
  int size() const noexcept { return static_cast<int>(bytes_.size()); }
  bool empty() const noexcept { return bytes_.empty(); }
  unsigned char operator[](int i) const noexcept {
    return static_cast<unsigned char>(bytes_[static_cast<std::size_t>(i)]);
  }

  Text& operator+=(const Text& other) {
    bytes_ += other.bytes_;
    return *this;
  }
  friend Text operator+(Text a, const Text& b) { return a += b; }
  friend bool operator==(const Text&, const Text&) = default;
  friend std::strong_ordering operator<=>(const Text& a, const Text& b) {
    return a.bytes_ <=> b.bytes_;
  }

 private:
  std::string bytes_;
};

class Bytes {
 public:
  Bytes() = default;
  explicit Bytes(const char* cString) : bytes_(cString) {}
  explicit Bytes(std::string_view bytes) : bytes_(bytes) {}
  explicit Bytes(std::string&& bytes) : bytes_(std::move(bytes)) {}

  std::string_view view() const noexcept { return bytes_; }
  const char* data() const noexcept { return bytes_.data(); }
  int size() const noexcept { return static_cast<int>(bytes_.size()); }
  bool empty() const noexcept { return bytes_.empty(); }
  std::string& raw() noexcept { return bytes_; }

  friend bool operator==(const Bytes&, const Bytes&) = default;

 private:
  std::string bytes_;
};

using TextArray = std::vector<Text>;

// Pieces and measures. All count bytes and may split a two-byte character.
int TextLength(const Text& text);
Text TextLeft(const Text& text, int n);   // n <= 0: empty
Text TextRight(const Text& text, int n);  // n <= 0: empty
// n bytes from 1-based `start`, cut at the end; empty when start < 1, start > length or n <= 0.
Text TextMid(const Text& text, int start, int n);
// A one-byte text of the code's low byte; a zero byte gives the empty text.
Text CharFromCode(int code);
// -1, 0 or 1 by unsigned byte-wise comparison; the empty text sorts first.
int CompareText(const Text& a, const Text& b);
Text BlankText(int n);  // n spaces; n < 1: empty

template <typename... More>
Text JoinText(const Text& first, const Text& second, const More&... more) {
  Text joined = first;
  joined += second;
  ((joined += more), ...);
  return joined;
}

// Searching. The scan steps one character at a time from where it begins, so an
// occurrence is tried only where a character begins; a two-byte character is
// stepped over whole. `ignoreCase` folds A-Z/a-z on every byte of the compared
// span. An empty needle gives 1 when the searched span is non-empty, else -1.
//
// Forward: from `startPosition` (<= 1 means the first byte; beyond the length
// finds nothing), exactly at that byte even when it is a second byte.
int FindText(const Text& text, const Text& needle, int startPosition = 0, bool ignoreCase = false);
// Backward: the last occurrence. With a start s only the first s - 1 bytes are
// searched, so an occurrence must end before position s.
int FindTextBackward(const Text& text, const Text& needle,
                     std::optional<int> startPosition = std::nullopt, bool ignoreCase = false);

// Case and spaces. A space is 0x20 or the full-width space 0xA1 0xA1; tab, CR and
// LF are not spaces. TrimSpaces and RemoveSpaces drop a lead byte (0x80 or above)
// that stands alone at the very end.
Text ToLowerCase(const Text& text);  // second bytes of two-byte characters untouched
Text TrimSpaces(const Text& text);
Text RemoveSpaces(const Text& text);

// Replaces `old` by `replacement` from `startPosition` on (bytes before it are
// copied), at most `count` times (negative: all). Returns the text unchanged when
// it is empty, `old` is empty, the start lies beyond the end, or count is 0;
// otherwise a lone lead byte at the very end is dropped.
Text ReplaceText(const Text& text, const Text& old, const Text& replacement = Text(),
                 int startPosition = 1, int count = -1, bool caseSensitive = true);

// Splits at `separator` where a character begins. Empty pieces before a leading
// separator or between two separators are items; the piece after the last
// separator is an item only when non-empty. Empty text or maxCount 0: no items;
// empty separator: the whole text; maxCount (negative: no limit) caps the items.
TextArray SplitText(const Text& text, const Text& separator = ",", int maxCount = -1);

// Numbers. Full-width forms of printable ASCII (0xA3 0xA1..0xA3 0xFE) read as
// that character and the full-width space as a space. Leading white space
// (space, \t, \n, \v, \f, \r) is skipped.
// The longest decimal number (sign, digits, point, digits, exponent); none gives 0.
double ToNumber(const Text& text);
// Sign and decimal digits up to the first other byte; saturates at the 32-bit bounds.
std::int32_t ToInteger(const Text& text);
Text IntToText(std::int64_t n);

// Bytes.
Bytes TextToBytes(const Text& text);
Text BytesToText(const Bytes& bytes);  // up to the first zero byte
int BytesLength(const Bytes& bytes);
Bytes BlankBytes(int n);  // n zero bytes; n <= 0: empty
Bytes BytesLeft(const Bytes& bytes, int n);
// Byte-wise, no character stepping; an empty needle gives -1.
int FindBytes(const Bytes& bytes, const Bytes& needle);
bool BytesEqual(const Bytes& a, const Bytes& b);

template <typename... More>
Bytes JoinBytes(const Bytes& first, const More&... more) {
  std::string joined(first.view());
  ((joined += more.view()), ...);
  return Bytes(std::move(joined));
}

// Others.
inline int ElementCount(const TextArray& array) { return static_cast<int>(array.size()); }
template <typename... Ints>
std::int32_t BitOr(std::int32_t first, Ints... more) {
  return (first | ... | static_cast<std::int32_t>(more));
}

}  // namespace velmora
