// Bringing a caller's cookie list up to date with the cookies a response set.
// A list holds entries separated by ";"; an entry is normally name=value. Names
// are compared byte for byte, case counting. Expiry, path and domain play no part.
#pragma once

#include "text/text.h"

namespace velmora {

// Rewrites both arguments: `cookies` becomes the merged list and `newCookies`
// its own value with every space removed. The merged list holds every new entry
// in order, then every old entry whose name the new list lacks (only the first
// of several with one name); entries ending in "=deleted" are left out, a new
// one taking its old namesake with it; repeated entries are written once.
// Entries are separated by "; ". Returns a copy of the merged list.
Text MergeCookies(Text& cookies, Text& newCookies);

// The part of an entry before its first "=" (the whole entry without one),
// trimmed of spaces.
Text CookieName(const Text& entry);

// Whether some entry of `list` has the name `name`.
bool HasCookieName(const TextArray& list, const Text& name);

// The items of `text` split at `separator`, each kept at its first occurrence
// only, joined again with `separator`. Items are compared whole.
Text RemoveDuplicateItems(const Text& text, const Text& separator);

// The 0-based index of the first item of `list` equal to `text`, or -1.
int FindItem(const TextArray& list, const Text& text);

}  // namespace velmora
