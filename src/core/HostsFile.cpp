#include "core/HostsFile.h"

namespace uptorra {

namespace {
constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kFieldSeparator = ",";
constexpr std::string_view kWaitingForTest = "等待测试";
}  // namespace

Text DefaultHostsFileContent() {
  Text content(kHostsHeader);
  content += kLineEnd;
  content += "www.baidu.com,百度(示例),ICMP,2,120,";
  content += kWaitingForTest;
  return content;
}

int LoadHostTable(std::string_view fileBytes, HostTable& table) {
  const Text text = TextOf(fileBytes);
  const auto lines = SplitText(text, kLineEnd);
  int appended = 0;
  for (std::size_t index = 1; index < lines.size(); ++index) {
    const auto fields = SplitText(lines[index], kFieldSeparator);
    if (fields.size() != kHostsFieldCount) continue;  // its number stays used: a gap shows
    const int row = table.AppendRow(DecimalText(static_cast<std::int64_t>(index)));
    for (int f = 0; f < kHostsFieldCount; ++f) table.SetCell(row, kColAddress + f, Text(fields[f]));
    ++appended;
  }
  return appended;
}

Text AppendHostLine(std::string_view oldBytes, std::string_view address, std::string_view name,
                    std::string_view probeType, std::string_view retries, std::string_view interval) {
  Text content = TextOf(oldBytes);
  content += kLineEnd;
  for (std::string_view field : {address, name, probeType, retries, interval}) {
    content += field;
    content += kFieldSeparator;
  }
  content += kWaitingForTest;
  return content;
}

}  // namespace uptorra
