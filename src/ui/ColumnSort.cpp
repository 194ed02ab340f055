#include "ui/ColumnSort.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

namespace uptorra {

namespace {

constexpr unsigned char kFullWidthLead = 0xA3;  // GBK row of the full-width ASCII forms
constexpr unsigned char kFullWidthFirstTrail = 0xA1;
constexpr unsigned char kFullWidthLastTrail = 0xFE;
constexpr unsigned char kFullWidthToAscii = 0x80;  // A3 A1 is '!' (0x21), A3 FE is '~' (0x7E)

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
// What isspace() accepts in the C locale.
bool IsWhiteSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// The value of a number whose digits std::from_chars reported out of range: infinity when
// it is too large, zero when too small, as strtod gives (HUGE_VAL, or a zero after underflow).
double OutOfRangeValue(std::string_view intDigits, std::string_view fracDigits, std::string_view exponent) {
  const std::size_t pointPos = intDigits.size();
  const Text digits = Text(intDigits) + Text(fracDigits);
  const std::size_t firstNonZero = digits.find_first_not_of('0');
  if (firstNonZero == Text::npos) return 0.0;
  // Saturated decimal exponent: far beyond any double either way.
  constexpr long long kSaturation = 1'000'000'000;
  long long explicitExponent = 0;
  bool negativeExponent = false;
  std::size_t pos = 0;
  if (pos < exponent.size() && (exponent[pos] == '+' || exponent[pos] == '-')) {
    negativeExponent = exponent[pos] == '-';
    ++pos;
  }
  for (; pos < exponent.size(); ++pos) {
    explicitExponent = std::min(kSaturation, explicitExponent * 10 + (exponent[pos] - '0'));
  }
  if (negativeExponent) explicitExponent = -explicitExponent;
  const long long leadingDigitExponent =
      static_cast<long long>(pointPos) - static_cast<long long>(firstNonZero) - 1 + explicitExponent;
  return leadingDigitExponent >= 0 ? std::numeric_limits<double>::infinity() : 0.0;
}

// The bisection over a sorted sequence reached through keyAt (1-based), shared by the public
// FindInsertPosition and by SortOrder, which keeps only row indexes.
template <typename KeyAt>
int InsertPositionIn(int count, const SortKey& key, SortKeyKind kind, const KeyAt& keyAt) {
  if (count == 0) return 1;
  if (CompareSortKeys(key, keyAt(count), kind) >= 0) return count + 1;
  if (CompareSortKeys(key, keyAt(1), kind) <= 0) return 1;
  int lo = 1;
  int hi = count;
  while (lo < hi - 1) {
    const int mid = (lo + hi) / 2;
    const int cmp = CompareSortKeys(key, keyAt(mid), kind);
    if (cmp == 0) {
      lo = mid;
      break;
    }
    if (cmp < 0) {
      hi = mid;
    } else {
      lo = mid;
    }
  }
  return lo + 1;
}

struct SortableColumn {
  int column;
  std::string_view name;  // the title without its mark
  SortKeyKind kind;
};

// The host address sorts by number too: a dotted address counts as the number its text starts
// with (192.168.1.20 as 192.168), a domain name as 0.
constexpr SortableColumn kSortableColumns[] = {
    {kColNumber, "序号", SortKeyKind::Numeric},
    {kColAddress, "主机地址/域名", SortKeyKind::Numeric},
    {kColName, "主机名称", SortKeyKind::Text},
    {kColProbeType, "监测类型", SortKeyKind::Text},
    {kColStatus, "监测状态", SortKeyKind::Text},
};
constexpr std::string_view kDescendingArrow = "↓";
constexpr std::string_view kAscendingArrow = "↑";

}  // namespace

Text AsciiFromFullWidth(std::string_view text) {
  Text out;
  out.reserve(text.size());
  for (std::size_t pos = 0; pos < text.size();) {
    const std::size_t len = GbkCharLength(text, pos);
    const std::string_view ch = text.substr(pos, len);
    pos += len;
    if (len == 2) {
      const auto lead = static_cast<unsigned char>(ch[0]);
      const auto trail = static_cast<unsigned char>(ch[1]);
      if (lead == kFullWidthLead && trail >= kFullWidthFirstTrail && trail <= kFullWidthLastTrail) {
        out += static_cast<char>(trail - kFullWidthToAscii);
        continue;
      }
      if (ch == kFullWidthBlank) {
        out += ' ';
        continue;
      }
    }
    out += ch;
  }
  return out;
}

double LeadingNumberOf(std::string_view text) {
  std::size_t pos = 0;
  while (pos < text.size() && IsWhiteSpace(text[pos])) ++pos;
  bool negative = false;
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
    negative = text[pos] == '-';
    ++pos;
  }
  const std::size_t start = pos;
  while (pos < text.size() && IsDigit(text[pos])) ++pos;
  const std::string_view intDigits = text.substr(start, pos - start);
  std::string_view fracDigits;
  if (pos < text.size() && text[pos] == '.') {
    const std::size_t fracStart = ++pos;
    while (pos < text.size() && IsDigit(text[pos])) ++pos;
    fracDigits = text.substr(fracStart, pos - fracStart);
  }
  if (intDigits.empty() && fracDigits.empty()) return 0.0;  // "", ".", "-", "abc"
  // An exponent counts only with at least one digit: "2e" and "2e+" read as 2.
  std::string_view exponent;
  if (pos < text.size() && (text[pos] == 'e' || text[pos] == 'E')) {
    std::size_t expPos = pos + 1;
    if (expPos < text.size() && (text[expPos] == '+' || text[expPos] == '-')) ++expPos;
    const std::size_t expDigits = expPos;
    while (expPos < text.size() && IsDigit(text[expPos])) ++expPos;
    if (expPos > expDigits) {
      exponent = text.substr(pos + 1, expPos - pos - 1);
      pos = expPos;
    }
  }
  // The extent is checked above, so from_chars (locale-independent, correctly rounded) reads
  // exactly these characters.
  double value = 0.0;
  const auto result = std::from_chars(text.data() + start, text.data() + pos, value, std::chars_format::general);
  if (result.ec == std::errc::result_out_of_range) {
    value = OutOfRangeValue(intDigits, fracDigits, exponent);
  } else if (result.ec != std::errc()) {
    value = 0.0;
  }
  return negative ? -value : value;
}

SortKey SortKeyOf(std::string_view cellText, SortKeyKind kind) {
  SortKey key;
  key.text = Text(TrimBlanks(cellText));
  if (kind == SortKeyKind::Numeric) key.number = LeadingNumberOf(AsciiFromFullWidth(key.text));
  return key;
}

int CompareSortKeys(const SortKey& a, const SortKey& b, SortKeyKind kind) {
  if (kind == SortKeyKind::Numeric) {
    // Equal infinities first: their difference would be NaN.
    if (a.number == b.number || std::fabs(a.number - b.number) <= kNumericKeyTolerance) return 0;
    return a.number < b.number ? -1 : 1;
  }
  // std::string_view compares char as unsigned char: GBK lead bytes sort above ASCII.
  const int cmp = std::string_view(a.text).compare(b.text);
  return cmp < 0 ? -1 : (cmp > 0 ? 1 : 0);
}

int FindInsertPosition(const std::vector<SortKey>& keys, const SortKey& key, SortKeyKind kind) {
  return InsertPositionIn(static_cast<int>(keys.size()), key, kind,
                          [&keys](int position) -> const SortKey& { return keys[position - 1]; });
}

std::vector<int> SortOrder(const std::vector<SortKey>& keys, SortKeyKind kind, bool ascending) {
  // The growing sorted list holds row indexes only: inserting moves ints, not keys, which
  // keeps 10,000 rows at a few milliseconds although each insertion shifts the later entries.
  std::vector<int> order;
  order.reserve(keys.size());
  for (int row = 0; row < static_cast<int>(keys.size()); ++row) {
    const int position = InsertPositionIn(static_cast<int>(order.size()), keys[row], kind,
                                          [&](int p) -> const SortKey& { return keys[order[p - 1]]; });
    order.insert(order.begin() + (position - 1), row);
  }
  if (!ascending) std::reverse(order.begin(), order.end());
  return order;
}

void SortHostTable(HostTable& table, int column, SortKeyKind kind, bool ascending) {
  // The selected row keeps its mark (item value 1) for the rest of the run. The row is found
  // again by its identity, not by the mark: a mark left on another row by an earlier sort
  // would otherwise move the selection to that other host.
  const int selected = table.SelectedRow();
  const RowId selectedId = table.IdOfRow(selected);
  if (selected >= 0 && table.GetItemValue(selected) == 0) table.SetItemValue(selected, 1);

  const int rowCount = table.RowCount();
  std::vector<SortKey> keys;
  keys.reserve(rowCount);
  for (int row = 0; row < rowCount; ++row) keys.push_back(SortKeyOf(table.GetCell(row, column), kind));

  // Whole rows move: texts, images, item value and state image travel together, so a row
  // without a status image never shows the picture of the host that stood there before.
  table.Reorder(SortOrder(keys, kind, ascending));

  if (selectedId != kNoRowId) {
    const int row = table.RowOfId(selectedId);
    table.SetSelectedRow(row);
    table.BringIntoView(row);
  }
}

void OnColumnClick(WindowServices& window, HostTable& table, int column) {
  const auto sortable = std::find_if(std::begin(kSortableColumns), std::end(kSortableColumns),
                                     [column](const SortableColumn& c) { return c.column == column; });
  if (sortable == std::end(kSortableColumns)) return;
  // A title showing the descending arrow sorts ascending; "*" and "↑" sort descending.
  const bool ascending = FindText(window.ColumnTitle(column), kDescendingArrow) != std::string_view::npos;
  SortHostTable(table, column, sortable->kind, ascending);
  window.SetColumnTitle(column, Text(sortable->name) + Text(ascending ? kAscendingArrow : kDescendingArrow));
}

}  // namespace uptorra
