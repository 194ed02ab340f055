#pragma once
// What the program's logic asks of the main window. The real window implements it; unit tests
// use a scripted stand-in. Everything here runs on the window thread: probe tasks never call
// it (they write the HostTable model, which the window shows).
#include <cstdint>

#include "core/Text.h"

namespace uptorra {

// The window's controls, by their form names.
enum class Control {
  超级列表框1,
  标签3,
  单选框_ICMP,
  单选框_端口,
  编辑框_监测类型,
  发送邮件,
  标签4,
  编辑框_重试次数,
  标签5,
  编辑框_监测间隔,
  标签1,
  编辑框_主机地址,
  标签2,
  编辑框_主机名称,
  添加主机,
  图片框1,
  查看日志,
  编辑配置,
  重启程序,
  选择框1,
  启动监测,
  停止监测,
  状态条1,
};

enum class MessageButtons { Ok, OkCancel, YesNoCancel };
enum class MessageAnswer { Ok, Cancel, Yes, No };

inline constexpr const char* kTipCaption = "KWO提示";

class WindowServices {
 public:
  virtual ~WindowServices() = default;

  // Status bar 状态条1: panes 0 and 1; any other index changes nothing / reads empty.
  virtual void SetPaneText(int pane, const Text& text) = 0;
  virtual Text PaneText(int pane) const = 0;

  // A task-modal box without owner. Closing a box that has Cancel counts as Cancel.
  virtual MessageAnswer ShowMessage(const Text& text, const Text& caption, MessageButtons buttons) = 0;

  // Control properties: text of an edit box, caption of a button; enabled; ticked/selected.
  virtual Text ControlText(Control control) const = 0;
  virtual void SetControlText(Control control, const Text& text) = 0;
  virtual bool IsEnabled(Control control) const = 0;
  virtual void SetEnabled(Control control, bool enabled) = 0;
  virtual bool IsChecked(Control control) const = 0;
  virtual void SetChecked(Control control, bool checked) = 0;

  // Timer 时钟1: period in milliseconds, 0 = off.
  virtual void SetTimerPeriod(std::uint32_t ms) = 0;
  virtual std::uint32_t TimerPeriod() const = 0;

  // Column titles of 超级列表框1.
  virtual Text ColumnTitle(int column) const = 0;
  virtual void SetColumnTitle(int column, const Text& title) = 0;

  // The window's visibility and the tray icon (one entry, added on first use).
  virtual bool IsWindowVisible() const = 0;
  virtual void SetWindowVisible(bool visible) = 0;
  virtual void ShowTrayIcon(const Text& tip) = 0;
};

}  // namespace uptorra
