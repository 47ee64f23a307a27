#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>

#include "text/charset.h"
#include "text/extract.h"
#include "text/text.h"

namespace velmora {
namespace {

// GBK bytes used across the cases.
const std::string kGao = "\xB8\xDF";          // 高
const std::string kMiao = "\xC3\xEB";         // 秒
const std::string kFullSpace = "\xA1\xA1";    // full-width space
const std::string kSecondIsA = "\x81\x41";    // a two-byte character whose second byte is 'A'
const std::string kFullWidth12 = "\xA3\xB1\xA3\xB2";  // full-width "12"

Text T(const std::string& s) { return Text(std::string_view(s)); }

TEST(TextValue, NeverHoldsAZeroByte) {
  EXPECT_EQ(Text(std::string_view("a\0b", 3)), Text("a"));
  EXPECT_EQ(Text(std::string("\0x", 2)), Text());
  EXPECT_EQ(BytesToText(Bytes(std::string_view("a\0b", 3))), Text("a"));
  EXPECT_EQ(CharFromCode(0), Text());
  EXPECT_EQ(CharFromCode(0x41), Text("A"));
  EXPECT_EQ(BytesLength(TextToBytes("ab")), 2);
}

TEST(TextPieces, CutAtTheEdges) {
  struct Case {
    const char* what;
    Text got;
    Text want;
  };
  const Case cases[] = {
      {"left", TextLeft("abc", 2), "ab"},
      {"left beyond", TextLeft("abc", 9), "abc"},
      {"left zero", TextLeft("abc", 0), ""},
      {"left negative", TextLeft("abc", -1), ""},
      {"right", TextRight("abc", 2), "bc"},
      {"right beyond", TextRight("abc", 9), "abc"},
      {"right zero", TextRight("abc", 0), ""},
      {"mid", TextMid("abcde", 2, 3), "bcd"},
      {"mid cut at end", TextMid("abc", 3, 5), "c"},
      {"mid past end", TextMid("abc", 4, 1), ""},
      {"mid start 0", TextMid("abc", 0, 2), ""},
      {"mid n 0", TextMid("abc", 1, 0), ""},
      {"join", JoinText("a", ":", "b"), "a:b"},
      {"blank", BlankText(3), "   "},
      {"blank 0", BlankText(0), ""},
      {"int", IntToText(-42), "-42"},
      {"mid splits a character", TextMid(T(kGao), 2, 1), T("\xDF")},
  };
  for (const auto& c : cases) EXPECT_EQ(c.got, c.want) << c.what;
}

TEST(TextCompare, UnsignedBytewise) {
  EXPECT_EQ(CompareText("a", "a"), 0);
  EXPECT_EQ(CompareText("", "a"), -1);
  EXPECT_EQ(CompareText("b", "a"), 1);
  EXPECT_EQ(CompareText("A", "a"), -1);
  EXPECT_EQ(CompareText(T(kGao), "z"), 1);  // 0xB8 sorts after ASCII
}

struct FindCase {
  const char* what;
  std::string text, needle;
  int start;
  bool ignoreCase;
  int want;
};

TEST(FindText, ForwardSteppingByCharacter) {
  const FindCase cases[] = {
      {"start omitted", "abcabc", "bc", 0, false, 2},
      {"start 3", "abcabc", "bc", 3, false, 5},
      {"start 7 beyond", "abcabc", "bc", 7, false, -1},
      {"negative start", "abcabc", "bc", -5, false, 2},
      {"not found", "abc", "x", 0, false, -1},
      {"second byte is not a character start", kSecondIsA, "A", 0, false, -1},
      {"after a two-byte character", kGao + "A", "A", 0, false, 3},
      {"start on a second byte begins there", kSecondIsA + "A", "A", 2, false, 2},
      {"chinese needle", "x" + kGao + kMiao, kMiao, 0, false, 4},
      {"case counts", "abc", "B", 0, false, -1},
      {"ignore case", "aBc", "bC", 0, true, 2},
      {"ignore case folds second bytes", "\x81\x61", "\x81\x41", 0, true, 1},
      {"empty needle", "abc", "", 0, false, 1},
      {"empty needle empty text", "", "", 0, false, -1},
      {"empty needle past end", "abc", "", 4, false, -1},
      {"needle longer than text", "ab", "abc", 0, false, -1},
      {"lone lead byte at end ends scan", "a\x81", "\x81", 0, false, 2},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FindText(T(c.text), T(c.needle), c.start, c.ignoreCase), c.want) << c.what;
  }
}

TEST(FindText, BackwardFindsTheLast) {
  EXPECT_EQ(FindTextBackward("a:b:c", ":"), 4);
  EXPECT_EQ(FindTextBackward("a:b:c", ":", 4), 2);  // must end before position 4
  EXPECT_EQ(FindTextBackward("a:b:c", ":", 5), 4);
  EXPECT_EQ(FindTextBackward("a:b:c", ":", 1), -1);
  EXPECT_EQ(FindTextBackward("a:b:c", ":", 99), 4);
  EXPECT_EQ(FindTextBackward("abAB", "ab", std::nullopt, true), 3);
  EXPECT_EQ(FindTextBackward(T(kSecondIsA), "A"), -1);
  EXPECT_EQ(FindTextBackward("abc", "x"), -1);
  EXPECT_EQ(FindTextBackward("abc", ""), 1);
}

TEST(TextCase, LowerCaseLeavesSecondBytes) {
  EXPECT_EQ(ToLowerCase("AbC-Z"), Text("abc-z"));
  EXPECT_EQ(ToLowerCase(T(kSecondIsA + "A")), T(kSecondIsA + "a"));
}

TEST(TextSpaces, TrimAndRemove) {
  struct Case {
    const char* what;
    std::string in, trimmed, removed;
  };
  const Case cases[] = {
      {"ends", "  ab  ", "ab", "ab"},
      {"full-width space, tab kept", kFullSpace + " ab \t", "ab \t", "ab\t"},
      {"inner spaces", " a b" + kFullSpace + "c ", "a b" + kFullSpace + "c", "abc"},
      {"only spaces", kFullSpace + "  ", "", ""},
      {"empty", "", "", ""},
      {"cr lf are not spaces", "\r\na\r\n", "\r\na\r\n", "\r\na\r\n"},
      {"lone lead byte dropped", "ab\x81", "ab", "ab"},
      {"second byte A1 is not a space", "\x81\xA1\xA1", "\x81\xA1", "\x81\xA1"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TrimSpaces(T(c.in)), T(c.trimmed)) << c.what;
    EXPECT_EQ(RemoveSpaces(T(c.in)), T(c.removed)) << c.what;
  }
}

TEST(ReplaceText, ScansByCharacter) {
  struct Case {
    const char* what;
    std::string text, old, replacement;
    int start, count;
    bool caseSensitive;
    std::string want;
  };
  const Case cases[] = {
      {"all", "a.b.c", ".", "--", 1, -1, true, "a--b--c"},
      {"count", "a.b.c", ".", "", 1, 1, true, "ab.c"},
      {"from start", "a.b.c", ".", "", 3, -1, true, "a.bc"},
      {"case insensitive", "aXbx", "x", "_", 1, -1, false, "a_b_"},
      {"case sensitive", "aXbx", "x", "_", 1, -1, true, "aXb_"},
      {"no overlap", "aaa", "aa", "b", 1, -1, true, "ba"},
      {"second byte not replaced", kSecondIsA, "A", "x", 1, -1, true, kSecondIsA},
      {"empty text", "", "a", "b", 1, -1, true, ""},
      {"empty old keeps lone lead", "a\x81", "", "b", 1, -1, true, "a\x81"},
      {"start beyond end", "ab\x81", "a", "b", 9, -1, true, "ab\x81"},
      {"count 0", "ab\x81", "a", "b", 1, 0, true, "ab\x81"},
      {"lone lead byte dropped", "ab\x81", "a", "x", 1, -1, true, "xb"},
      {"quote marker", "#\xD2\xFD\xBA\xC5x", "#\xD2\xFD\xBA\xC5", "\"", 1, -1, true, "\"x"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ReplaceText(T(c.text), T(c.old), T(c.replacement), c.start, c.count, c.caseSensitive),
              T(c.want))
        << c.what;
  }
}

TEST(SplitText, PiecesAndEdges) {
  struct Case {
    const char* what;
    std::string text, separator;
    int maxCount;
    std::vector<std::string> want;
  };
  const Case cases[] = {
      {"crlf lines", "a\r\n\r\nb\r\n", "\r\n", -1, {"a", "", "b"}},
      {"default comma", "a,b", ",", -1, {"a", "b"}},
      {"leading separator", ",a", ",", -1, {"", "a"}},
      {"trailing piece empty", "a,", ",", -1, {"a"}},
      {"only separators", ",,", ",", -1, {"", ""}},
      {"empty text", "", ",", -1, {}},
      {"max 0", "a,b", ",", 0, {}},
      {"max caps", "a,b,c", ",", 2, {"a", "b"}},
      {"empty separator", "a,b", "", -1, {"a,b"}},
      {"no separator", "abc", ",", -1, {"abc"}},
      {"separator only at character starts", kSecondIsA + "A", "A", -1, {kSecondIsA}},
  };
  for (const auto& c : cases) {
    TextArray got = SplitText(T(c.text), T(c.separator), c.maxCount);
    TextArray want;
    for (const auto& w : c.want) want.push_back(T(w));
    EXPECT_EQ(got, want) << c.what;
  }
  EXPECT_EQ(SplitText("a,b"), (TextArray{"a", "b"}));
}

TEST(TextNumbers, ToNumber) {
  struct Case {
    std::string in;
    double want;
  };
  const Case cases[] = {
      {"0.5" + kMiao, 0.5},
      {" 12abc", 12},
      {kMiao, 0},
      {"", 0},
      {"\t\n\v\f\r 3", 3},
      {"-2.5e2x", -250},
      {"+.5", 0.5},
      {"5.", 5},
      {".", 0},
      {"1e", 1},
      {"1e+", 1},
      {"2.9999998", 2.9999998},
      {kFullWidth12, 12},
      {kFullSpace + "7", 7},
      {"\xA3\xAD" "3", -3},  // full-width minus
      {"1e999", std::numeric_limits<double>::infinity()},
      {"1e-999", 0},
      {"0x10", 0},
      {"inf", 0},
  };
  for (const auto& c : cases) EXPECT_DOUBLE_EQ(ToNumber(T(c.in)), c.want) << c.in;
}

TEST(TextNumbers, ToIntegerSaturates) {
  struct Case {
    std::string in;
    std::int32_t want;
  };
  const Case cases[] = {
      {"3.9", 3},
      {" -17x", -17},
      {"+8", 8},
      {"", 0},
      {"x1", 0},
      {kFullWidth12, 12},
      {"2147483647", 2147483647},
      {"2147483648", 2147483647},
      {"99999999999999999999999", 2147483647},
      {"-2147483648", -2147483647 - 1},
      {"-99999999999", -2147483647 - 1},
  };
  for (const auto& c : cases) EXPECT_EQ(ToInteger(T(c.in)), c.want) << c.in;
}

TEST(TextBytes, Operations) {
  Bytes zeroInside(std::string_view("a\0b", 3));
  EXPECT_EQ(BytesLength(zeroInside), 3);
  EXPECT_EQ(FindBytes(zeroInside, Bytes("b")), 3);
  EXPECT_EQ(FindBytes(zeroInside, Bytes()), -1);
  EXPECT_EQ(FindBytes(Bytes("abc"), Bytes("x")), -1);
  EXPECT_EQ(FindBytes(Bytes(kSecondIsA), Bytes("A")), 2);  // no character stepping
  EXPECT_EQ(BlankBytes(2), Bytes(std::string_view("\0\0", 2)));
  EXPECT_TRUE(BlankBytes(-1).empty());
  EXPECT_EQ(BytesLeft(Bytes("abc"), 2), Bytes("ab"));
  EXPECT_TRUE(BytesLeft(Bytes("abc"), 0).empty());
  EXPECT_EQ(JoinBytes(Bytes("a"), zeroInside), Bytes(std::string_view("aa\0b", 4)));
  EXPECT_TRUE(BytesEqual(Bytes("x"), Bytes("x")));
  EXPECT_FALSE(BytesEqual(Bytes("x"), Bytes(std::string_view("x\0", 2))));
  EXPECT_EQ(ElementCount(SplitText("a,b,c")), 3);
  EXPECT_EQ(BitOr(1, 2, 8), 11);
}

TEST(TextBetween, Markers) {
  struct Case {
    const char* what;
    std::string text, start, end;
    bool caseSensitive;
    std::string want;
  };
  const std::string quote = "#\xD2\xFD\xBA\xC5";
  const Case cases[] = {
      {"plain", "<a>1</a>", "<a>", "</a>", false, "1"},
      {"case ignored", "<A>x</A>", "<a>", "</a>", false, "x"},
      {"case sensitive", "<A>x</A>", "<a>", "</a>", true, ""},
      {"quote marker", "href=\"u\"", "href=" + quote, quote, false, "u"},
      {"end before start only", "</a><a>x", "<a>", "</a>", false, ""},
      {"end right after start", "<a></a>", "<a>", "</a>", false, ""},
      {"start ends text", "x<a>", "<a>", "</a>", false, ""},
      {"start missing", "x</a>", "<a>", "</a>", false, ""},
      {"empty end marker", "<a>x", "<a>", "", false, ""},
      {"empty start marker", "ab;", "", ";", false, "ab"},
      {"markers not overlapping", "<a>a>", "<a>", "a>", false, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TextBetween(T(c.text), T(c.start), T(c.end), 0, c.caseSensitive), T(c.want))
        << c.what;
  }
  EXPECT_EQ(TextBetween("<a>1</a><a>2</a>", "<a>", "</a>", 4), Text("2"));
}

TEST(ValueAfterColon, HeaderValues) {
  EXPECT_EQ(ValueAfterColon("Host:  a:1 "), Text("a:1"));
  EXPECT_EQ(ValueAfterColon("no colon"), Text());
  EXPECT_EQ(ValueAfterColon("X:"), Text());
  EXPECT_EQ(ValueAfterColon(T("K:" + kFullSpace + "v\t")), Text("v\t"));
}

TEST(Charset, GbkRoundTripsThroughUnicode) {
  EXPECT_EQ(GbkToUtf16(kGao), u"\u9AD8");
  EXPECT_EQ(Utf16ToGbk(u"\u9AD8x"), T(kGao + "x"));
  EXPECT_EQ(Utf8ToGbk("\xE9\xAB\x98"), T(kGao));
  EXPECT_EQ(GbkToUtf8(kGao), "\xE9\xAB\x98");
  std::vector<std::int32_t> offsets;
  EXPECT_EQ(GbkToUtf16("a" + kGao + "b", &offsets), u"a\u9AD8b");
  EXPECT_EQ(offsets, (std::vector<std::int32_t>{0, 1, 3}));
}

TEST(Charset, BadInputBecomesQuestionMarks) {
  EXPECT_EQ(ConvertCharset("a\xFF" "b", "UTF-8", "GBK"), std::optional<std::string>("a?b"));
  EXPECT_EQ(ConvertCharset("\xF0\x9F\x98\x80", "UTF-8", "GBK"), std::optional<std::string>("?"));
  EXPECT_EQ(ConvertCharset("x", "no-such-charset", "GBK"), std::nullopt);
  EXPECT_EQ(ConvertCharset(kGao, "GBK", "GBK"), std::optional<std::string>(kGao));
  std::string big(100000, 'a');
  big += "\xE9\xAB\x98";
  EXPECT_EQ(ConvertCharset(big, "UTF-8", "GBK"), std::optional<std::string>(std::string(100000, 'a') + kGao));
}

}  // namespace
}  // namespace velmora
