// Helpers shared by the fuzz targets: a check that aborts (so libFuzzer records
// the input) and the character-wise tests of the text model.
#pragma once

#include <cstdlib>
#include <string_view>

#include "text/text.h"

namespace velmora::fuzz {

inline void Check(bool condition) {
  if (!condition) std::abort();
}

inline bool HasZeroByte(std::string_view bytes) { return bytes.find('\0') != std::string_view::npos; }

inline bool IsPart(const Text& part, const Text& whole) {
  return whole.view().find(part.view()) != std::string_view::npos;
}

// Whether `text` holds the one-byte character `c` (stepping over two-byte
// characters, whose second byte may be any byte).
inline bool HoldsChar(const Text& text, unsigned char c) {
  for (int i = 0; i < text.size(); ++i) {
    if (text[i] == c) return true;
    if (text[i] >= 0x80) ++i;
  }
  return false;
}

inline bool HoldsUpperCase(const Text& text) {
  for (int i = 0; i < text.size(); ++i) {
    if (text[i] >= 'A' && text[i] <= 'Z') return true;
    if (text[i] >= 0x80) ++i;
  }
  return false;
}

// Whether `text` holds a space character: 0x20, or the full-width space 0xA1 0xA1,
// stepping over two-byte characters as the text operations do.
inline bool HasSpace(const Text& text) {
  for (int i = 0; i < text.size(); ++i) {
    if (text[i] == 0x20) return true;
    if (text[i] >= 0x80) {
      if (i + 1 < text.size() && text[i] == 0xA1 && text[i + 1] == 0xA1) return true;
      ++i;
    }
  }
  return false;
}

}  // namespace velmora::fuzz
