#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "collect/listing.h"
#include "regex/regex_object.h"
#include "regex/subject_units.h"
#include "text/charset.h"
#include "text/text.h"

namespace velmora {

// Failure messages show texts as UTF-8.
void PrintTo(const Text& text, std::ostream* os) { *os << '"' << GbkToUtf8(text.view()) << '"'; }

namespace {

Text G(const std::string& utf8) { return Utf8ToGbk(utf8); }

std::vector<Text> AllMatches(const RegexObject& regex) {
  std::vector<Text> all;
  for (int i = 1; i <= regex.MatchCount(); ++i) all.push_back(regex.MatchText(i));
  return all;
}

TEST(RegexObject, DigitsOverMixedText) {
  RegexObject regex;
  ASSERT_TRUE(regex.Create("[0-9]", "a1b22"));
  EXPECT_EQ(regex.MatchCount(), 3);
  EXPECT_EQ(AllMatches(regex), (std::vector<Text>{"1", "2", "2"}));
  EXPECT_EQ(regex.MatchText(0), Text());
  EXPECT_EQ(regex.MatchText(4), Text());
  EXPECT_EQ(regex.MatchText(-1), Text());
  EXPECT_EQ(regex.SubmatchCount(), 0);
  EXPECT_EQ(regex.SubmatchText(1, 1), Text());
  EXPECT_EQ(regex.GetPattern(), Text("[0-9]"));
}

TEST(RegexObject, NothingBeforeTheFirstCreate) {
  RegexObject regex;
  regex.NoOp();
  EXPECT_EQ(regex.GetPattern(), Text());
  EXPECT_EQ(regex.MatchCount(), 0);
  EXPECT_EQ(regex.MatchText(1), Text());
  EXPECT_EQ(regex.SubmatchText(1, 1), Text());
  EXPECT_EQ(regex.SubmatchCount(), 0);
  EXPECT_EQ(regex.Replace("x"), Text());
}

TEST(RegexObject, EmptySubjectRunsAndFindsNothing) {
  RegexObject regex;
  ASSERT_TRUE(regex.Create("[0-9]", ""));
  EXPECT_EQ(regex.MatchCount(), 0);
  EXPECT_EQ(regex.MatchText(1), Text());
  EXPECT_EQ(regex.SubmatchCount(), 0);
  EXPECT_EQ(regex.Replace("x"), Text());
}

TEST(RegexObject, RejectedPatternLeavesEverythingEmpty) {
  RegexObject regex;
  ASSERT_TRUE(regex.Create("(a)(b)", "ab ab"));
  ASSERT_EQ(regex.MatchCount(), 2);

  for (const char* pattern : {"(ab", "ab)", "[ab"}) {
    SCOPED_TRACE(pattern);
    EXPECT_FALSE(regex.Create(pattern, "ab ab"));
    EXPECT_EQ(regex.MatchCount(), 0);
    EXPECT_EQ(regex.MatchText(1), Text());
    EXPECT_EQ(regex.SubmatchText(1, 1), Text());
    EXPECT_EQ(regex.SubmatchCount(), 0);
    EXPECT_EQ(regex.Replace("x"), Text());
    EXPECT_EQ(regex.GetPattern(), Text(pattern));
  }
  // The object recovers with the next good pattern.
  EXPECT_TRUE(regex.Create("(a)(b)", "ab"));
  EXPECT_EQ(regex.MatchCount(), 1);
}

TEST(RegexObject, CaseIsIgnoredUnlessAskedFor) {
  RegexObject regex;
  ASSERT_TRUE(regex.Create("[A-Z]+", "abc"));
  EXPECT_EQ(AllMatches(regex), (std::vector<Text>{"abc"}));
  // Same pattern, other options: the kept compiled pattern must not be reused.
  ASSERT_TRUE(regex.Create("[A-Z]+", "abc", true));
  EXPECT_EQ(regex.MatchCount(), 0);
  ASSERT_TRUE(regex.Create("[A-Z]+", "abc"));
  EXPECT_EQ(regex.MatchCount(), 1);
}

TEST(RegexObject, SecondCreateReplacesMatchesAndSubject) {
  RegexObject regex;
  ASSERT_TRUE(regex.Create("(\\d)(\\d)", "12 34 56"));
  ASSERT_EQ(regex.MatchCount(), 3);
  ASSERT_EQ(regex.SubmatchCount(), 2);

  ASSERT_TRUE(regex.Create("[a-z]+", "hello world"));
  EXPECT_EQ(AllMatches(regex), (std::vector<Text>{"hello", "world"}));
  EXPECT_EQ(regex.MatchText(3), Text());
  EXPECT_EQ(regex.SubmatchCount(), 0);
  EXPECT_EQ(regex.SubmatchText(1, 1), Text());
  EXPECT_EQ(regex.Replace("x"), Text("x x"));

  // The same pattern again over a new subject: new matches, new subject.
  ASSERT_TRUE(regex.Create("[a-z]+", "one"));
  EXPECT_EQ(AllMatches(regex), (std::vector<Text>{"one"}));
  EXPECT_EQ(regex.Replace("[$&]"), Text("[one]"));
}

TEST(RegexObject, QuoteMarkerExpansion) {
  RegexObject regex;
  const Text subject = "<a href=\"/x\">";
  const Text pattern = G("href=#引号(.*?)#引号");
  ASSERT_TRUE(regex.Create(pattern, subject, false, true, true, true));
  EXPECT_EQ(regex.GetPattern(), Text("href=\"(.*?)\""));
  EXPECT_EQ(regex.SubmatchText(1, 1), Text("/x"));
  ASSERT_TRUE(regex.Create(pattern, subject));
  EXPECT_EQ(regex.GetPattern(), pattern);
  EXPECT_EQ(regex.MatchCount(), 0);
}

// The dot, \s, \d, ^ and $ as the listing's patterns rely on them.
TEST(RegexObject, LineAndClassRules) {
  struct Case {
    const char* what;
    Text pattern;
    Text subject;
    bool multiline;
    std::vector<Text> want;
  };
  const Case cases[] = {
      {"dot takes CR, not LF", "a.b", "a\rb a\nb", true, {"a\rb"}},
      {"dot takes a two-byte character", G("高."), G("高匿"), true, {G("高匿")}},
      {"\\s is ASCII white space",
       "\\s",
       G("\t\r\n\v\f 　"),
       true,
       {"\t", "\r", "\n", "\v", "\f", " "}},
      {"\\d is ASCII digits", "\\d+", G("１２3４"), true, {"3"}},
      {"^ at line starts", "^\\w", "ab\ncd", true, {"a", "c"}},
      {"^ at the start only", "^\\w", "ab\ncd", false, {"a"}},
      {"$ at line ends", "\\w$", "ab\ncd", true, {"b", "d"}},
      {"$ at the very end only", "\\w$", "ab\ncd\n", false, {}},
      {"\\u names a character", "\\u9AD8\\x41", G("高A"), true, {G("高A")}},
  };
  RegexObject regex;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(regex.Create(c.pattern, c.subject, false, c.multiline));
    EXPECT_EQ(AllMatches(regex), c.want);
  }
}

TEST(RegexObject, ChineseInPatternAndSubject) {
  RegexObject regex;
  ASSERT_TRUE(regex.Create(G("高匿(\\d+)号"), G("低匿1号 高匿22号 高匿333号")));
  EXPECT_EQ(AllMatches(regex), (std::vector<Text>{G("高匿22号"), G("高匿333号")}));
  EXPECT_EQ(regex.SubmatchText(2, 1), Text("333"));

  // A class of Chinese characters, and case folding beside them.
  ASSERT_TRUE(regex.Create(G("[高低]匿([a-z]+)"), G("低匿HTTP 透明http 高匿https")));
  EXPECT_EQ(AllMatches(regex), (std::vector<Text>{G("低匿HTTP"), G("高匿https")}));
  EXPECT_EQ(regex.SubmatchText(1, 1), Text("HTTP"));

  // Texts are cut from the subject as given: a byte the converter cannot read
  // comes back as it was, not as a substitute.
  const Text broken(std::string_view("ab\x81"));
  ASSERT_TRUE(regex.Create("b.", broken));
  EXPECT_EQ(AllMatches(regex), (std::vector<Text>{Text(std::string_view("b\x81"))}));
}

// After an empty match the next search starts one character further on, so
// every position is tried once and an empty match never repeats.
TEST(RegexObject, EmptyMatchesStepOneCharacter) {
  struct Case {
    const char* what;
    Text pattern;
    Text subject;
    bool global;
    std::vector<Text> want;
  };
  const Case cases[] = {
      {"star over text", "x*", "ax", true, {"", "x", ""}},
      {"star over nothing", "x*", "", true, {""}},
      {"star after a two-byte character", "x*", G("高x"), true, {"", "x", ""}},
      {"lookahead", "(?=a)", "aa", true, {"", ""}},
      {"empty first alternative", "|a", "a", true, {"", ""}},
      {"not global: first only", "x*", "ax", false, {""}},
  };
  RegexObject regex;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(regex.Create(c.pattern, c.subject, false, true, c.global));
    EXPECT_EQ(AllMatches(regex), c.want);
  }
  ASSERT_TRUE(regex.Create("x*", "ax"));
  EXPECT_EQ(regex.Replace("-"), Text("-a--"));
}

TEST(RegexObject, ReplaceExpandsGroupReferences) {
  struct Case {
    const char* what;
    Text replacement;
    Text want;
  };
  const Case cases[] = {
      {"groups", "$2-$1", "2-1 and 44-33"},
      {"whole match", "[$&]", "[1-2] and [33-44]"},
      {"dollar", "$$", "$ and $"},
      {"group that does not exist", "$3", "$3 and $3"},
      {"two digits, second group missing", "$10", "10 and 330"},
      {"two digits with a leading zero", "$02", "2 and 44"},
      {"dollar zero", "$0", "$0 and $0"},
      {"dollar before other text", "$x$", "$x$ and $x$"},
      {"omitted", "", " and "},
      {"two-byte characters", G("高$1"), G("高1 and 高33")},
  };
  RegexObject regex;
  ASSERT_TRUE(regex.Create("(\\d+)-(\\d+)", "1-2 and 33-44"));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(regex.Replace(c.replacement), c.want);
  }
  EXPECT_EQ(regex.Replace(), Text(" and "));

  // Twelve groups: "$12" is the twelfth, "$13" the first and a literal 3.
  ASSERT_TRUE(regex.Create("(a)(b)(c)(d)(e)(f)(g)(h)(i)(j)(k)(l)", "abcdefghijkl"));
  EXPECT_EQ(regex.Replace("$12$13"), Text("la3"));

  // A group that took no part gives the empty text.
  ASSERT_TRUE(regex.Create("(a)|(b)", "b"));
  EXPECT_EQ(regex.Replace("<$1|$2>"), Text("<|b>"));

  // Without global only the first match is replaced.
  ASSERT_TRUE(regex.Create("\\d", "1 2", false, true, false));
  EXPECT_EQ(regex.Replace("x"), Text("x 2"));
}

TEST(RegexObject, PositionsAreSearchedFromTheCharacterOffset) {
  RegexObject regex;
  ASSERT_TRUE(regex.Create("(\\d+)-(\\d+)", "1-2 and 33-44"));
  int position = 99;
  EXPECT_EQ(regex.MatchText(2, &position), Text("33-44"));
  EXPECT_EQ(position, 8);
  EXPECT_EQ(regex.SubmatchText(2, 2, &position), Text("44"));
  EXPECT_EQ(position, 11);

  // A two-byte character before the match: the search starts a byte early and
  // still finds the match.
  ASSERT_TRUE(regex.Create("abc", G("高abc abc")));
  EXPECT_EQ(regex.MatchText(1, &position), Text("abc"));
  EXPECT_EQ(position, 2);
  EXPECT_EQ(regex.MatchText(2, &position), Text("abc"));
  EXPECT_EQ(position, 6);

  // The search ignores case when the object does, so it can land on an earlier
  // copy of the text in the other case; case-sensitive it does not.
  ASSERT_TRUE(regex.Create("b", "aBb"));
  EXPECT_EQ(regex.MatchText(2, &position), Text("b"));
  EXPECT_EQ(position, 1);
  ASSERT_TRUE(regex.Create("b", "aBb", true));
  EXPECT_EQ(regex.MatchText(1, &position), Text("b"));
  EXPECT_EQ(position, 2);

  position = 99;
  EXPECT_EQ(regex.MatchText(5, &position), Text());
  EXPECT_EQ(position, 99);
}

// One listing row in the page's own shape; `location` is the cell's content.
std::string Row(const std::string& ip, const std::string& port, const std::string& location,
                const std::string& anonymity, const std::string& type, const std::string& speed,
                const std::string& connect, const std::string& verified) {
  auto bar = [](const std::string& title, int width) {
    return "  <td>\n    <div title=\"" + title +
           "\" class=\"bar\">\n      <div class=\"bar_inner fast\" style=\"width:" +
           std::to_string(width) + "%\">\n        \n      </div>\n    </div>\n  </td>\n";
  };
  return "<tr class=\"odd\">\n  <td class=\"country\"><img src=\"/img/cn.png\" alt=\"Cn\" /></td>\n"
         "  <td>" +
         ip + "</td>\n  <td>" + port + "</td>\n  <td>\n    " + location + "\n  </td>\n  <td>" +
         anonymity + "</td>\n  <td>" + type + "</td>\n" + bar(speed, 87) + bar(connect, 95) +
         "  <td>" + verified + "</td>\n</tr>\n";
}

std::string RowFixture() {
  return "<table id=\"ip_list\">\n" +
         Row("1.2.3.4", "8080", "<a href=\"/2026-12-1/1\">江苏南京</a>", "高匿", "HTTP", "0.52秒",
             "0.05秒", "26-12-10 10:10") +
         Row("5.6.7.8", "80", "北京", "透明", "HTTP", "0.1秒", "0.3秒", "26-12-10 10:11") +
         Row("9.10.11.12", "3128", "北京", "高匿", "HTTPS", "2.9999998秒", "1秒",
             "26-12-11 23:59") +
         Row("13.14.15.16", "9999", "<a href=\"/unknown\"></a>", "高匿", "http", "未知",
             "0.9999998秒", "26-12-11 08:00") +
         "</table>\n";
}

void ExpectFixtureRows(const RegexObject& regex) {
  const std::vector<std::vector<std::string>> want = {
      {"1.2.3.4", "8080", "<a href=\"/2026-12-1/1\">江苏南京</a>", "江苏南京", "", "HTTP", "0.52秒",
       "0.05秒", "26-12-10 10:10"},
      {"9.10.11.12", "3128", "北京", "", "北京", "HTTPS", "2.9999998秒", "1秒", "26-12-11 23:59"},
      {"13.14.15.16", "9999", "<a href=\"/unknown\"></a>", "", "", "http", "未知", "0.9999998秒",
       "26-12-11 08:00"},
  };
  ASSERT_EQ(regex.MatchCount(), 3);
  EXPECT_EQ(regex.SubmatchCount(), 9);
  for (int m = 1; m <= 3; ++m) {
    for (int g = 1; g <= 9; ++g) {
      SCOPED_TRACE(testing::Message() << "match " << m << " group " << g);
      EXPECT_EQ(regex.SubmatchText(m, g),
                G(want[static_cast<std::size_t>(m - 1)][static_cast<std::size_t>(g - 1)]));
    }
    EXPECT_EQ(regex.SubmatchText(m, 10), Text());
    EXPECT_EQ(regex.SubmatchText(m, 0), Text());
  }
}

TEST(RegexObject, RowPatternOverListingRows) {
  RegexObject regex;
  ASSERT_EQ(RowPattern().size(), 380);
  ASSERT_TRUE(regex.Create(RowPattern(), G(RowFixture())));
  ExpectFixtureRows(regex);
  EXPECT_EQ(regex.MatchText(1).view().substr(0, 13), "<td>1.2.3.4</");
}

TEST(RegexObject, RowPatternOverCrLfPage) {
  std::string page;
  for (char c : RowFixture()) {
    if (c == '\n') page += '\r';
    page += c;
  }
  RegexObject regex;
  ASSERT_TRUE(regex.Create(RowPattern(), G(page)));
  ExpectFixtureRows(regex);
}

// The subject's conversion routes ASCII around the converter; units and offsets
// must be exactly the converter's own, malformed input included.
TEST(SubjectToUtf16, GivesTheConvertersUnitsAndOffsets) {
  auto expectSame = [](const std::string& gbk) {
    std::vector<std::int32_t> wantOffsets;
    const std::u16string want = GbkToUtf16(gbk, &wantOffsets);
    std::u16string units = u"stale";
    std::vector<std::int32_t> offsets = {7, 7};
    SubjectToUtf16(gbk, units, offsets);
    return units == want && offsets == wantOffsets;
  };
  const std::string cases[] = {
      "",
      "plain ascii, longer than one eight-byte word",
      "\xB8\xDF\xC4\xE4",  // two characters, nothing else
      "<td>\xB8\xDF\xC4\xE4</td>\n<td>\xCD\xB8</td>",
      "a\x81",  // lead byte alone at the end
      "\x81\x41"
      "bc",  // second byte in the ASCII range
      "\x81\x30"
      "abcdefghijk",                   // second byte not allowed: lead alone, then '0'
      "\x81\x7F\x81\xFF\x80\xFF\xA1",  // DEL, 0xFF, the euro byte, lone bytes
      "\x80\x81\x41",                  // 0x80 stands alone, the pair after it stays
      std::string(3, 'x') + "\xA1\xA1" + std::string(20, 'y') + "\xA3\xB1",
  };
  for (const std::string& gbk : cases) {
    EXPECT_TRUE(expectSame(gbk)) << testing::PrintToString(gbk);
  }

  std::mt19937 random(20261211);
  const char interesting[] = {'a',    '<',    '\n',   0x30,   0x40,   0x41,   0x7E,  0x7F,
                              '\x80', '\x81', '\xA1', '\xB8', '\xDF', '\xFE', '\xFF'};
  for (int round = 0; round < 20000; ++round) {
    std::string gbk(random() % 24, ' ');
    for (char& c : gbk) {
      c = random() % 4 ? interesting[random() % sizeof interesting]
                       : static_cast<char>(1 + random() % 255);
    }
    gbk.insert(random() % (gbk.size() + 1), std::string(random() % 20, 'x'));
    ASSERT_TRUE(expectSame(gbk)) << testing::PrintToString(gbk);
  }
}

// Nested quantifiers over a long run that cannot match backtrack without end;
// the match limit stops the search, and the matches found before it stay.
TEST(RegexObject, RunawaySearchEndsTheMatchList) {
  const std::string run(100000, 'a');
  const Text subject(std::string_view("ab ab ab " + run + "! ab"));
  RegexObject regex;
  ASSERT_TRUE(regex.Create("(a+)+b", subject));
  EXPECT_EQ(AllMatches(regex), (std::vector<Text>{"ab", "ab", "ab"}));
  EXPECT_EQ(regex.SubmatchText(3, 1), Text("a"));

  ASSERT_TRUE(regex.Create("(\\w+\\s?)*;", Text(std::string_view("x; " + run + "!;"))));
  EXPECT_EQ(AllMatches(regex), (std::vector<Text>{"x;"}));

  // The object is sound afterwards.
  ASSERT_TRUE(regex.Create("[0-9]", "a1b22"));
  EXPECT_EQ(regex.MatchCount(), 3);
}

}  // namespace
}  // namespace velmora
