// The sort's keys, its placement of equal keys and its work on the table model. Texts whose
// GBK bytes matter are spelled as escapes: this file also runs in the native build, where
// literals are UTF-8.
#include "ui/ColumnSort.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <numeric>
#include <random>
#include <string>
#include <vector>

namespace uptorra {
namespace {

const Text kFullWidthBlankText = "\xA1\xA1";

std::vector<SortKey> KeysOf(const std::vector<Text>& cells, SortKeyKind kind) {
  std::vector<SortKey> keys;
  for (const Text& cell : cells) keys.push_back(SortKeyOf(cell, kind));
  return keys;
}

// ---- keys ----------------------------------------------------------------------------------

struct NumberCase {
  Text cell;
  double expected;
};

TEST(SortKey, NumericKeyIsTheLeadingNumberOfTheTrimmedText) {
  const double inf = std::numeric_limits<double>::infinity();
  const NumberCase cases[] = {
      {"12", 12},
      {"  12  ", 12},
      {kFullWidthBlankText + "12" + kFullWidthBlankText, 12},
      {"10.0.0.2", 10.0},
      {"192.168.1.20", 192.168},
      {"192.168.5.1", 192.168},
      {"www.example.com", 0},
      {"", 0},
      {"\xA3\xB1\xA3\xB0", 10},                  // full-width 1 0
      {"\xA3\xB1\xA3\xAE\xA3\xB5", 1.5},         // full-width 1 . 5
      {"\xA3\xAD\xA3\xB5", -5},                  // full-width - 5
      {"\xA3\xB9\xA1\xA1\xA3\xB9", 9},           // a full-width blank inside ends the number
      {"80\xB6\xCB\xBF\xDA", 80},                // 80端口
      {"-3.5e2x", -350},
      {"+7", 7},
      {"\t7", 7},                                // white space before the number is skipped
      {"2e", 2},                                 // an exponent needs digits
      {"2e+", 2},
      {"2E-1", 0.2},
      {".5", 0.5},
      {"5.", 5},
      {".", 0},
      {"-", 0},
      {"+-1", 0},
      {"0x10", 0},                               // decimal only
      {"inf", 0},
      {"infra.example", 0},
      {"nan", 0},
      {"1e400", inf},
      {"-1e400", -inf},
      {"1e-400", 0},
      {"0.000000000000000000000000000000000000000000000000000001e-300", 0},
      {"1" + std::string(400, '0'), inf},
  };
  for (const NumberCase& c : cases) {
    const double got = SortKeyOf(c.cell, SortKeyKind::Numeric).number;
    if (std::isinf(c.expected)) {
      EXPECT_EQ(got, c.expected) << c.cell;
    } else {
      EXPECT_NEAR(got, c.expected, 1e-12) << c.cell;
    }
  }
}

// Over the characters a decimal number is made of, the reading agrees with the C library's
// strtod in the "C" locale (which the program never changes).
TEST(SortKey, LeadingNumberAgreesWithStrtodOnDecimalTexts) {
  const char alphabet[] = "0123456789..eE+-  \t";
  std::mt19937 random(7);
  for (int round = 0; round < 20000; ++round) {
    std::string text(random() % 12, ' ');
    for (char& c : text) c = alphabet[random() % (sizeof alphabet - 1)];
    const double expected = std::strtod(text.c_str(), nullptr);
    const double got = LeadingNumberOf(text);
    if (std::isinf(expected)) {
      ASSERT_EQ(got, expected) << '"' << text << '"';
    } else {
      ASSERT_NEAR(got, expected, std::fabs(expected) * 1e-15) << '"' << text << '"';
    }
  }
}

TEST(SortKey, TextKeyIsTrimmedOfAsciiAndFullWidthBlanksOnly) {
  EXPECT_EQ(SortKeyOf("  b  ", SortKeyKind::Text).text, "b");
  EXPECT_EQ(SortKeyOf(kFullWidthBlankText + " b" + kFullWidthBlankText, SortKeyKind::Text).text, "b");
  EXPECT_EQ(SortKeyOf("\tb", SortKeyKind::Text).text, "\tb");
  // The full-width forms are left alone in text keys.
  EXPECT_EQ(SortKeyOf("\xA3\xC1", SortKeyKind::Text).text, "\xA3\xC1");
}

TEST(SortKey, FullWidthFormsBecomeAsciiOnCharacterBoundaries) {
  EXPECT_EQ(AsciiFromFullWidth("\xA3\xC1\xA3\xE1\xA3\xA1\xA3\xFE"), "Aa!~");
  EXPECT_EQ(AsciiFromFullWidth("a\xA1\xA1z"), "a z");
  // B0 A3 is one character; the A3 B1 after it is the full-width 1. Read byte by byte, the
  // A3 A3 in the middle would wrongly become '#'.
  EXPECT_EQ(AsciiFromFullWidth("\xB0\xA3\xA3\xB1"), "\xB0\xA3" "1");
  EXPECT_EQ(AsciiFromFullWidth("\xD6\xF7\xBB\xFA"), "\xD6\xF7\xBB\xFA");  // other characters stay
  EXPECT_EQ(AsciiFromFullWidth("\xA3"), "\xA3");                          // a lone lead byte stays
}

TEST(SortKey, Comparison) {
  auto text = [](const Text& a, const Text& b) {
    return CompareSortKeys(SortKeyOf(a, SortKeyKind::Text), SortKeyOf(b, SortKeyKind::Text), SortKeyKind::Text);
  };
  EXPECT_EQ(text("a", "ab"), -1);  // a prefix is the smaller
  EXPECT_EQ(text("ab", "a"), 1);
  EXPECT_EQ(text("B", "a"), -1);   // upper case before lower case
  EXPECT_EQ(text("z", "\xB0\xA1"), -1);  // GBK lead bytes above ASCII, as unsigned bytes
  EXPECT_EQ(text("\xB0\xA1", "\xB0\xA2"), -1);  // then the trail byte
  EXPECT_EQ(text(" a ", "a"), 0);

  auto number = [](double a, double b) {
    SortKey x, y;
    x.number = a;
    y.number = b;
    return CompareSortKeys(x, y, SortKeyKind::Numeric);
  };
  EXPECT_EQ(number(2, 2 + 0.9e-7), 0);
  EXPECT_EQ(number(2 + 0.9e-7, 2), 0);
  EXPECT_EQ(number(2, 2 + 2e-7), -1);
  EXPECT_EQ(number(2 + 2e-7, 2), 1);
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_EQ(number(inf, inf), 0);
  EXPECT_EQ(number(-inf, inf), -1);
}

// ---- FindInsertPosition --------------------------------------------------------------------

struct PositionCase {
  std::vector<Text> sorted;
  Text key;
  SortKeyKind kind;
  int expected;
};

TEST(FindInsertPosition, PlacesEqualKeysAsTheBisectionMeetsThem) {
  const auto T = SortKeyKind::Text;
  const auto N = SortKeyKind::Numeric;
  const PositionCase cases[] = {
      {{}, "a", T, 1},
      {{"a", "b", "c"}, "d", T, 4},
      {{"a", "b", "c"}, "c", T, 4},       // equal to the last: after it
      {{"a", "b", "c"}, "a", T, 1},       // equal to the first (and below the last): before it
      {{"a", "b", "c"}, "0", T, 1},
      {{"a", "a", "a"}, "a", T, 4},       // equal to the last wins over equal to the first
      {{"a", "c"}, "b", T, 2},
      {{"a", "b", "b", "c"}, "b", T, 3},  // met at mid = 2: right after it
      {{"a", "b", "b", "b", "c"}, "b", T, 4},  // met at mid = 3, though b also stands at 2
      {{"a", "b", "b", "b", "b", "b", "c"}, "b", T, 5},
      {{"a", "b", "c", "d", "e", "f", "g"}, "ee", T, 6},
      {{"ab"}, "a", T, 1},
      {{"a"}, "ab", T, 2},
      {{"1", "2", "3"}, "2.00000005", N, 3},  // equal to 2 within 1e-7
      {{"1", "2", "3"}, "2.0000002", N, 3},
      {{"1", "2", "3"}, "1.9999998", N, 2},
      {{"1", "2", "3"}, "2.99999995", N, 4},  // equal to the last
      {{"1", "2", "3"}, "1.00000005", N, 1},  // equal to the first
      {{"9", "10"}, "9.5", N, 2},
  };
  for (const PositionCase& c : cases) {
    EXPECT_EQ(FindInsertPosition(KeysOf(c.sorted, c.kind), SortKeyOf(c.key, c.kind), c.kind), c.expected)
        << "key " << c.key << " into " << c.sorted.size() << " keys";
  }
}

// ---- the order -----------------------------------------------------------------------------

struct OrderCase {
  const char* name;
  std::vector<Text> cells;  // by row, before the sort
  SortKeyKind kind;
  std::vector<int> ascending;   // old row index at each new position
  std::vector<int> descending;
};

TEST(SortOrder, ResultingRowOrders) {
  const auto T = SortKeyKind::Text;
  const auto N = SortKeyKind::Numeric;
  const OrderCase cases[] = {
      {"second a goes in front of the first", {"b", "a", "a"}, T, {2, 1, 0}, {0, 1, 2}},
      {"equal to the last goes after it", {"B", "A", "B"}, T, {1, 0, 2}, {2, 0, 1}},
      {"upper case first", {"b", "B", "a", "A"}, T, {3, 1, 2, 0}, {0, 2, 1, 3}},
      {"addresses by their leading number",
       {"10.0.0.2", "192.168.1.20", "www.example.com", "192.168.5.1"},
       N,
       {2, 0, 1, 3},
       {3, 1, 0, 2}},
      {"row numbers as numbers", {"10", "9", "1", "2"}, N, {2, 3, 1, 0}, {0, 1, 3, 2}},
      {"row numbers as text", {"10", "9", "1", "2"}, T, {2, 0, 3, 1}, {1, 3, 0, 2}},
      {"full-width digits count as digits", {"\xA3\xB1\xA3\xB0", "9", "\xA3\xB2"}, N, {2, 1, 0}, {0, 1, 2}},
      {"blanks do not count", {"  b", "a  ", kFullWidthBlankText + "c"}, T, {1, 0, 2}, {2, 0, 1}},
      {"empty", {}, T, {}, {}},
      {"one row", {"x"}, N, {0}, {0}},
  };
  for (const OrderCase& c : cases) {
    const auto keys = KeysOf(c.cells, c.kind);
    EXPECT_EQ(SortOrder(keys, c.kind, true), c.ascending) << c.name;
    EXPECT_EQ(SortOrder(keys, c.kind, false), c.descending) << c.name;
  }
}

TEST(SortOrder, RandomTextKeysComeOutSortedAsAPermutation) {
  std::mt19937 random(20240611);
  for (int round = 0; round < 50; ++round) {
    std::vector<Text> cells(1 + random() % 300);
    for (Text& cell : cells) {
      const int length = static_cast<int>(random() % 3);
      for (int i = 0; i < length; ++i) cell += static_cast<char>('a' + random() % 3);  // many duplicates
    }
    const auto keys = KeysOf(cells, SortKeyKind::Text);
    const auto order = SortOrder(keys, SortKeyKind::Text, true);
    std::vector<int> seen = order;
    std::sort(seen.begin(), seen.end());
    std::vector<int> all(cells.size());
    std::iota(all.begin(), all.end(), 0);
    ASSERT_EQ(seen, all);
    for (std::size_t i = 1; i < order.size(); ++i) ASSERT_LE(cells[order[i - 1]], cells[order[i]]);
    auto reversed = SortOrder(keys, SortKeyKind::Text, false);
    std::reverse(reversed.begin(), reversed.end());
    ASSERT_EQ(reversed, order);
  }
}

// ---- the table -----------------------------------------------------------------------------

class SortTableTest : public ::testing::Test {
 protected:
  // Rows with row number, address, name and status; returns their identities.
  std::vector<RowId> Fill(const std::vector<std::vector<Text>>& rows) {
    std::vector<RowId> ids;
    for (const auto& cells : rows) {
      const int row = table.AppendRow(cells[0]);
      table.SetCell(row, kColAddress, cells[1]);
      table.SetCell(row, kColName, cells[2]);
      table.SetCell(row, kColStatus, cells[3]);
      ids.push_back(table.IdOfRow(row));
    }
    return ids;
  }
  std::vector<Text> Column(int col) const {
    std::vector<Text> texts;
    for (int row = 0; row < table.RowCount(); ++row) texts.push_back(table.GetCell(row, col));
    return texts;
  }
  HostTable table;
};

TEST_F(SortTableTest, WholeRowsMoveAndKeepTheirBlanks) {
  Fill({{"1", "10.0.0.2", "  b", "ok"}, {"2", "192.168.1.20", "a", "bad"}, {"3", "www.example.com", "c ", "wait"}});
  table.SetCellImage(0, kColStatus, kImageSuccess);
  table.SetCellImage(1, kColStatus, kImageFailure);
  SortHostTable(table, kColName, SortKeyKind::Text, true);
  EXPECT_EQ(Column(kColName), (std::vector<Text>{"a", "  b", "c "}));
  EXPECT_EQ(Column(kColNumber), (std::vector<Text>{"2", "1", "3"}));
  EXPECT_EQ(Column(kColAddress), (std::vector<Text>{"192.168.1.20", "10.0.0.2", "www.example.com"}));
  EXPECT_EQ(Column(kColStatus), (std::vector<Text>{"bad", "ok", "wait"}));
  EXPECT_EQ(table.GetCellImage(0, kColStatus), kImageFailure);
  EXPECT_EQ(table.GetCellImage(1, kColStatus), kImageSuccess);
  EXPECT_EQ(table.GetCellImage(2, kColStatus), kNoImage);
}

TEST_F(SortTableTest, RowWithoutPictureDoesNotInheritThePictureOfItsNewPlace) {
  Fill({{"1", "a", "never tested", "等待测试"}, {"2", "b", "answered", "ok"}});
  table.SetCellImage(1, kColStatus, kImageSuccess);
  SortHostTable(table, kColNumber, SortKeyKind::Numeric, false);  // 2, 1
  EXPECT_EQ(table.GetCell(0, kColName), "answered");
  EXPECT_EQ(table.GetCellImage(0, kColStatus), kImageSuccess);
  EXPECT_EQ(table.GetCell(1, kColName), "never tested");
  EXPECT_EQ(table.GetCellImage(1, kColStatus), kNoImage) << "a host never tested must not show a success picture";
}

TEST_F(SortTableTest, ProbeTasksKeepWritingIntoTheirOwnHost) {
  const auto ids = Fill({{"1", "h1", "n1", "s"}, {"2", "h2", "n2", "s"}, {"3", "h3", "n3", "s"}});
  SortHostTable(table, kColNumber, SortKeyKind::Numeric, false);
  ASSERT_EQ(Column(kColAddress), (std::vector<Text>{"h3", "h2", "h1"}));
  for (std::size_t i = 0; i < ids.size(); ++i) {
    ASSERT_TRUE(table.SetCellById(ids[i], kColTestTime, "t" + std::to_string(i + 1)));
  }
  for (int row = 0; row < table.RowCount(); ++row) {
    EXPECT_EQ(table.GetCell(row, kColTestTime), "t" + table.GetCell(row, kColAddress).substr(1));
  }
}

TEST_F(SortTableTest, SelectedHostStaysSelectedAndIsBroughtIntoView) {
  Fill({{"1", "h1", "c", ""}, {"2", "h2", "a", ""}, {"3", "h3", "b", ""}});
  table.SetSelectedRow(0);  // h1
  table.TakeChanges();
  SortHostTable(table, kColName, SortKeyKind::Text, true);  // h2, h3, h1
  EXPECT_EQ(table.SelectedRow(), 2);
  EXPECT_EQ(table.GetCell(2, kColAddress), "h1");
  EXPECT_EQ(table.GetItemValue(2), 1) << "the selected row is marked";
  EXPECT_EQ(table.TakeChanges().bringIntoView, 2);
  EXPECT_EQ(table.GetItemValue(0), 0);
  EXPECT_EQ(table.GetItemValue(1), 0);
}

TEST_F(SortTableTest, MarkLeftOverFromAnEarlierSortDoesNotStealTheSelection) {
  Fill({{"1", "h1", "c", ""}, {"2", "h2", "a", ""}, {"3", "h3", "b", ""}});
  table.SetSelectedRow(2);  // h3 gets the mark 1 at the first sort
  SortHostTable(table, kColNumber, SortKeyKind::Numeric, true);
  ASSERT_EQ(table.GetItemValue(2), 1);
  table.SetSelectedRow(0);  // now the operator selects h1
  SortHostTable(table, kColName, SortKeyKind::Text, true);  // h2, h3, h1: h3's old mark lies above
  EXPECT_EQ(table.GetCell(table.SelectedRow(), kColAddress), "h1");
  // Both keep their marks for the rest of the run.
  EXPECT_EQ(table.GetItemValue(1), 1);
  EXPECT_EQ(table.GetItemValue(2), 1);
}

TEST_F(SortTableTest, ItemValuesAndStateImagesTravelWithTheirRows) {
  Fill({{"1", "h1", "b", ""}, {"2", "h2", "a", ""}});
  table.SetItemValue(0, 7);
  table.SetStateImage(0, 1);
  SortHostTable(table, kColName, SortKeyKind::Text, true);
  EXPECT_EQ(table.GetItemValue(1), 7);
  EXPECT_EQ(table.GetStateImage(1), 1);
  EXPECT_EQ(table.GetItemValue(0), 0);
  EXPECT_EQ(table.GetStateImage(0), kNoImage);
  EXPECT_EQ(table.SelectedRow(), -1) << "nothing was selected, nothing is";
}

TEST_F(SortTableTest, EmptyTable) {
  SortHostTable(table, kColNumber, SortKeyKind::Numeric, true);
  EXPECT_EQ(table.RowCount(), 0);
  EXPECT_EQ(table.SelectedRow(), -1);
}

}  // namespace
}  // namespace uptorra
