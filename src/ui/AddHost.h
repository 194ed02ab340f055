#pragma once
// Adding a host from the window, and the two probe-type radio buttons that switch the port box.
#include <string_view>

#include "core/AppState.h"
#include "core/HostTable.h"
#include "ui/WindowServices.h"

namespace uptorra {

inline constexpr std::string_view kEnterAddressMessage = "请输入主机地址！";
inline constexpr std::string_view kEnterPortMessage = "请输入端口号！";
// A comma or a line break would split the host's line in MyHosts.csv into more than six fields
// or into two lines, and the next start would drop the host without a word.
inline constexpr std::string_view kNoCommaOrLineBreakMessage = "主机地址和名称中不能包含逗号或换行！";

inline constexpr std::string_view kIcmpProbeType = "ICMP";
inline constexpr std::string_view kPortProbeSuffix = "端口";
inline constexpr std::string_view kWaitingForTestStatus = "等待测试";
inline constexpr std::string_view kIcmpRetryProposal = "2";
inline constexpr std::string_view kPortRetryProposal = "1";

// Click of 单选框_端口 or 单选框_ICMP (which): the port box is enabled only with the port probe,
// and each switch proposes a retry count for the chosen probe type.
void OnProbeTypeRadioClicked(WindowServices& window, Control which);

// Click of 添加主机: checks the boxes, appends the row, brings it into view and appends the
// host's line to the hosts file.
void OnAddHostClicked(WindowServices& window, HostTable& table, const AppState& state);

}  // namespace uptorra
