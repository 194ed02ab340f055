#pragma once
// A stand-in for the main window: controls start as the real window creates them, message
// boxes are answered from a script and recorded, and the tray icon counts its updates.
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "ui/WindowServices.h"

namespace uptorra::test {

class ScriptedWindow : public WindowServices {
 public:
  struct Box {
    Text text;
    Text caption;
    MessageButtons buttons;
  };

  ScriptedWindow() {
    texts_[Control::编辑框_重试次数] = "2";
    texts_[Control::编辑框_监测间隔] = "120";
    checked_[Control::单选框_ICMP] = true;
    enabled_[Control::编辑框_监测类型] = false;
    enabled_[Control::停止监测] = false;
  }

  // Answers for the next boxes, in order. A box with nothing scripted is closed: an OK box
  // answers OK, a box with Cancel answers Cancel, so an unscripted question never acts.
  void Answer(MessageAnswer answer) { answers_.push_back(answer); }

  // The operator selects one radio button of the probe-type group: the other one clears.
  void SelectRadio(Control radio) {
    checked_[Control::单选框_ICMP] = radio == Control::单选框_ICMP;
    checked_[Control::单选框_端口] = radio == Control::单选框_端口;
  }

  std::vector<Box> boxes;
  int trayIconUpdates = 0;
  Text trayTip;

  // WindowServices
  void SetPaneText(int pane, const Text& text) override {
    if (pane == 0 || pane == 1) panes_[pane] = text;
  }
  Text PaneText(int pane) const override { return pane == 0 || pane == 1 ? panes_[pane] : Text(); }

  MessageAnswer ShowMessage(const Text& text, const Text& caption, MessageButtons buttons) override {
    boxes.push_back({text, caption, buttons});
    if (!answers_.empty()) {
      const MessageAnswer answer = answers_.front();
      answers_.pop_front();
      return answer;
    }
    return buttons == MessageButtons::Ok ? MessageAnswer::Ok : MessageAnswer::Cancel;
  }

  Text ControlText(Control control) const override {
    const auto it = texts_.find(control);
    return it == texts_.end() ? Text() : it->second;
  }
  void SetControlText(Control control, const Text& text) override { texts_[control] = text; }
  bool IsEnabled(Control control) const override {
    const auto it = enabled_.find(control);
    return it == enabled_.end() ? true : it->second;
  }
  void SetEnabled(Control control, bool enabled) override { enabled_[control] = enabled; }
  bool IsChecked(Control control) const override {
    const auto it = checked_.find(control);
    return it != checked_.end() && it->second;
  }
  void SetChecked(Control control, bool checked) override { checked_[control] = checked; }

  void SetTimerPeriod(std::uint32_t ms) override { timerPeriod_ = ms; }
  std::uint32_t TimerPeriod() const override { return timerPeriod_; }

  Text ColumnTitle(int column) const override {
    return column >= 0 && column < static_cast<int>(titles_.size()) ? titles_[column] : Text();
  }
  void SetColumnTitle(int column, const Text& title) override {
    if (column >= 0 && column < static_cast<int>(titles_.size())) titles_[column] = title;
  }

  bool IsWindowVisible() const override { return visible_; }
  void SetWindowVisible(bool visible) override { visible_ = visible; }
  void ShowTrayIcon(const Text& tip) override {
    ++trayIconUpdates;
    trayTip = tip;
  }

 private:
  Text panes_[2];
  std::map<Control, Text> texts_;
  std::map<Control, bool> enabled_;
  std::map<Control, bool> checked_;
  std::deque<MessageAnswer> answers_;
  std::uint32_t timerPeriod_ = 0;
  std::vector<Text> titles_{"序号*", "主机地址/域名*", "主机名称*", "监测类型*",
                            "重试",  "间隔(s)",        "监测状态*", "测试时间"};
  bool visible_ = true;
};

}  // namespace uptorra::test
