#pragma once
// The hosts file MyHosts.csv: a header line, then one host per line as six comma-separated
// GBK fields (address, display name, probe type, retry count, interval, status), lines
// separated by CR LF, the last line without a line end.
#include <string_view>

#include "core/HostTable.h"
#include "core/Text.h"

namespace uptorra {

inline constexpr std::string_view kHostsHeader = "主机地址/域名,主机名称,监测类型,重试次数,监测间隔(s),监测状态";
inline constexpr int kHostsFieldCount = 6;

// The file written when none exists: the header and one example line, no final line end.
Text DefaultHostsFileContent();

// Fills the table from the file's bytes. Line 0 is the header and is never read; a line with
// other than six fields is skipped but uses up its number, so column 0 shows the line index.
// Returns the number of rows appended.
int LoadHostTable(std::string_view fileBytes, HostTable& table);

// The file content after appending one host: the old text (up to its first zero byte), CR LF,
// and the six fields with the status "等待测试".
Text AppendHostLine(std::string_view oldBytes, std::string_view address, std::string_view name,
                    std::string_view probeType, std::string_view retries, std::string_view interval);

}  // namespace uptorra
