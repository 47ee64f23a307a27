#include "regex/subject_units.h"

#include <algorithm>
#include <cstring>

#include "text/charset.h"

namespace velmora {

namespace {

// 0x81 to 0xFE lead a two-byte character, which takes the next byte whatever it
// is; 0x80 and 0xFF stand alone. A byte below 0x80 that no lead takes is ASCII
// and, in GBK, the character of the same code.
bool IsLead(unsigned char c) { return c >= 0x81 && c <= 0xFE; }

std::size_t NextNonAscii(const unsigned char* bytes, std::size_t i, std::size_t n) {
  for (; i + 8 <= n; i += 8) {
    std::uint64_t word;
    std::memcpy(&word, bytes + i, 8);
    if (word & 0x8080808080808080ULL) break;
  }
  while (i < n && bytes[i] < 0x80) ++i;
  return i;
}

// A run of non-ASCII characters: [begin, end) in the subject, and where it starts
// in the text handed to the converter.
struct Piece {
  std::size_t begin;
  std::size_t end;
  std::size_t gathered;
};

// ASCII bytes [from, to) as units, each with its offset. Eight at a time, so that
// the compiler turns it into vector code.
void Widen(const unsigned char* __restrict bytes, std::size_t from, std::size_t to,
           char16_t* __restrict units, std::int32_t* __restrict offsets) {
  const std::size_t n = to - from;
  std::size_t k = 0;
  for (; k + 8 <= n; k += 8) {
    for (std::size_t j = 0; j < 8; ++j) {
      units[k + j] = static_cast<char16_t>(bytes[from + k + j]);
      offsets[k + j] = static_cast<std::int32_t>(from + k + j);
    }
  }
  for (; k < n; ++k) {
    units[k] = static_cast<char16_t>(bytes[from + k]);
    offsets[k] = static_cast<std::int32_t>(from + k);
  }
}

}  // namespace

// The converter costs about a nanosecond a byte, and a listing page is almost all
// ASCII markup. So the non-ASCII runs are gathered, a line feed between two runs,
// and converted in one call; ASCII bytes are widened here. The converter starts
// every run afresh, as it would in the whole text: a run ends only after a
// complete character (a lead byte with the byte after it, or a lone byte), and a
// lead byte without its second byte can only end the whole subject.
bool SubjectToUtf16(std::string_view gbk, std::u16string& units,
                    std::vector<std::int32_t>& offsets) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(gbk.data());
  const std::size_t n = gbk.size();
  std::vector<Piece> pieces;
  std::string gathered;
  for (std::size_t i = NextNonAscii(bytes, 0, n); i < n; i = NextNonAscii(bytes, i, n)) {
    std::size_t j = i;
    while (j < n && bytes[j] >= 0x80) j += IsLead(bytes[j]) ? 2 : 1;
    j = std::min(j, n);
    if (!pieces.empty()) gathered += '\n';
    pieces.push_back({i, j, gathered.size()});
    gathered.append(gbk.substr(i, j - i));
    i = j;
  }
  std::vector<std::int32_t> gatheredOffsets;
  std::u16string converted = GbkToUtf16(gathered, &gatheredOffsets);
  if (converted.empty() && !gathered.empty()) {  // the converter failed: as the whole text would
    units = GbkToUtf16(gbk, &offsets);
    return false;
  }

  // Every byte gives at most one unit; the converted units are counted in too,
  // so nothing is written beyond the end whatever the converter does.
  units.resize(n + converted.size());
  offsets.resize(n + converted.size());
  std::size_t w = 0;
  std::size_t c = 0;
  std::size_t copied = 0;
  for (const Piece& piece : pieces) {
    Widen(bytes, copied, piece.begin, units.data() + w, offsets.data() + w);
    w += piece.begin - copied;
    const auto pieceEnd = static_cast<std::int32_t>(piece.gathered + (piece.end - piece.begin));
    for (; c < converted.size() && gatheredOffsets[c] < pieceEnd; ++c, ++w) {
      units[w] = converted[c];
      offsets[w] = gatheredOffsets[c] - static_cast<std::int32_t>(piece.gathered) +
                   static_cast<std::int32_t>(piece.begin);
    }
    if (c < converted.size() && gatheredOffsets[c] == pieceEnd) ++c;  // the line feed between runs
    copied = piece.end;
  }
  Widen(bytes, copied, n, units.data() + w, offsets.data() + w);
  w += n - copied;
  units.resize(w);
  offsets.resize(w);
  // Only the converter's units can be surrogates.
  unsigned surrogates = 0;
  for (char16_t unit : converted) surrogates |= (unit & 0xF800u) == 0xD800u;
  return surrogates == 0;
}

}  // namespace velmora
