#pragma once
// The small commands of the main window: the close question with its choice of the tray, the
// way back from the tray, the usage text, the log and configuration in the text editor, and
// the three link commands.
#include <string_view>

#include "core/AppState.h"
#include "ui/Shell.h"
#include "ui/WindowServices.h"

namespace uptorra {

inline constexpr std::string_view kCloseQuestion = "是否关闭？点击是关闭程序，点击否最小化到托盘。";
inline constexpr std::string_view kCloseLogEntrySuffix = "---程序关闭\r\n";
inline constexpr std::string_view kTrayTip = "Uptorra";
inline constexpr int kTrayLeftButtonReleased = 1;
inline constexpr std::string_view kTextEditorCommand = "notepad ";

inline constexpr std::string_view kPushGuidePane = "创建应用(appToken)-新建主题(topicId)-关注订阅-填写配置";
inline constexpr std::string_view kChatGroupPane = "欢迎超帅的你加群！Q群：";
inline constexpr std::string_view kDownloadPane = "蓝奏云链接密码：";

// The operator closes the window (close button, system menu, Esc). True: log the close, the
// window may be destroyed and the program ends. False: the window stays, hidden in the tray
// after No, as it was after Cancel.
bool OnCloseRequested(WindowServices& window);

// An action on the tray icon: releasing the left button shows the window again; the icon stays.
void OnTrayEvent(WindowServices& window, int kind);

// Right mouse button pressed on 查看日志: the usage text.
void OnViewLogRightButton(WindowServices& window);

// Click of 查看日志 / 编辑配置: the file in the text editor. A failed start is not reported.
void OnViewLogClicked(const AppState& state, ShellServices& shell);
void OnEditConfigClicked(const AppState& state, ShellServices& shell);

// Double-clicks of 标签3, 图片框1 and 状态条1: a hint in status pane 1 and a page in the browser.
void OnPushGuideDoubleClicked(WindowServices& window, ShellServices& shell);
void OnSignatureDoubleClicked(WindowServices& window, ShellServices& shell);
void OnStatusBarDoubleClicked(WindowServices& window, ShellServices& shell);

}  // namespace uptorra
