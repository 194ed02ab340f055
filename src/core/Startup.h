#pragma once
// Start-up: what runs once the main window exists, before the operator can use it.
#include <string_view>

#include "core/AppState.h"
#include "core/Config.h"
#include "core/HostTable.h"
#include "ui/WindowServices.h"

namespace uptorra {

inline constexpr std::string_view kUsageCaption = "Uptorra使用说明";
inline constexpr std::string_view kUsageText =
    "0、右键单击查看日志按钮弹出使用说明；\r\n"
    "1、双击Wx_Pusher打开创建应用的网页；\r\n"
    "2、可提前将主机信息写到MyHosts.csv文件；\r\n"
    "3、从窗口添加主机需在启动监测之前（或重启程序）；\r\n"
    "4、点击带*号的表格标题可以进行排序；\r\n"
    "5、右键单击某个主机可以临时关闭或开启监测；\r\n"
    "6、勾选状态邮件可每3天提醒程序是否正常运行；\r\n"
    "7、关闭窗口前可以选择最小化到托盘；\r\n"
    "8、欢迎双击作者签名加入交流群，感谢支持！";

inline constexpr std::string_view kPushNotConfiguredPane = "未读取到Wx_Pusher的配置，";
inline constexpr std::string_view kHostsLoadedPane = "主机载入完成，当前主机数：";
inline constexpr std::string_view kWelcomePane = "欢迎超帅的你，快双击作者签名加群！";

// Sets the three paths of state from the program's folder (no trailing backslash).
void SetFilePaths(AppState& state, const Text& programDir);

// The window-created handler: first-run check with the usage box, file paths, default files,
// push settings, loading the host table and the first status-bar texts, in that order.
void RunWindowCreated(WindowServices& window, HostTable& table, AppState& state, FirstRunStore& firstRun,
                      const Text& programDir);

}  // namespace uptorra
