#pragma once
// Sorting the host table by a column: the column-click handler, the keys, and the insertion
// sort with bisection whose placement of equal keys the operator sees (equal keys are not kept
// in their old order, and the descending order is the ascending order reversed).
#include <string_view>
#include <vector>

#include "core/HostTable.h"
#include "core/Text.h"
#include "ui/WindowServices.h"

namespace uptorra {

enum class SortKeyKind { Numeric, Text };

// Two numeric keys this close count as equal.
inline constexpr double kNumericKeyTolerance = 1e-7;

// A row's key: its cell text with leading and trailing blanks (ASCII and full-width) removed,
// and for numeric keys the number that text starts with.
struct SortKey {
  Text text;
  double number = 0.0;
};

SortKey SortKeyOf(std::string_view cellText, SortKeyKind kind);

// Full-width forms of ASCII characters (GBK A3 A1..A3 FE, and the full-width blank A1 A1)
// turned into their ASCII forms; every other character is kept.
Text AsciiFromFullWidth(std::string_view text);

// The leading decimal number of a text, read as the C library's atof reads it (white space,
// sign, digits, decimal point, exponent; it stops at the first character that cannot continue
// the number) but always with '.' as the decimal point, whatever the C locale says. Only
// decimal numbers count: "inf", "nan" and hexadecimal forms read as 0, so a domain name such as
// "info.example" cannot turn into infinity. No number gives 0.
double LeadingNumberOf(std::string_view text);

// -1, 0 or 1. Text keys compare byte by byte (a prefix is the smaller); numeric keys are equal
// within kNumericKeyTolerance.
int CompareSortKeys(const SortKey& a, const SortKey& b, SortKeyKind kind);

// The 1-based position at which key goes into keys (sorted ascending). A key equal to the last
// element goes after it; one below the last and equal to the first goes before the first; one
// equal to an element met by the bisection goes right after that element.
int FindInsertPosition(const std::vector<SortKey>& keys, const SortKey& key, SortKeyKind kind);

// The row order after the sort: result[t] is the index (before the sort) of the row that ends
// at t. Rows are inserted one by one, in index order, at FindInsertPosition; the descending
// order is the ascending one reversed.
std::vector<int> SortOrder(const std::vector<SortKey>& keys, SortKeyKind kind, bool ascending);

// Reorders the whole table by one column. Rows move whole, with their identity, so a probe task
// keeps writing into its own host's row. The selected host stays selected and is brought into
// view; a selected row whose item value is 0 gets the value 1, which it keeps for the run.
void SortHostTable(HostTable& table, int column, SortKeyKind kind, bool ascending);

// Click on a column title: the columns 序号, 主机地址/域名, 主机名称, 监测类型 and 监测状态 sort,
// descending first and then alternating, and their title shows the direction with an arrow;
// other columns ignore the click.
void OnColumnClick(WindowServices& window, HostTable& table, int column);

}  // namespace uptorra
