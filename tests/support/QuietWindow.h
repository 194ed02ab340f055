#pragma once
// A stand-in window that shows nothing and asks nothing: message boxes answer OK, controls are
// enabled and unticked, no timer runs. The two status panes keep their texts as the real bar's
// do (any other pane index changes nothing). Stand-ins that watch one service derive from it.
#include <cstdint>

#include "ui/WindowServices.h"

namespace uptorra::test {

class QuietWindow : public WindowServices {
 public:
  Text panes[2];

  void SetPaneText(int pane, const Text& text) override {
    if (pane == 0 || pane == 1) panes[pane] = text;
  }
  Text PaneText(int pane) const override { return pane == 0 || pane == 1 ? panes[pane] : Text(); }
  MessageAnswer ShowMessage(const Text&, const Text&, MessageButtons) override { return MessageAnswer::Ok; }
  Text ControlText(Control) const override { return {}; }
  void SetControlText(Control, const Text&) override {}
  bool IsEnabled(Control) const override { return true; }
  void SetEnabled(Control, bool) override {}
  bool IsChecked(Control) const override { return false; }
  void SetChecked(Control, bool) override {}
  void SetTimerPeriod(std::uint32_t) override {}
  std::uint32_t TimerPeriod() const override { return 0; }
  Text ColumnTitle(int) const override { return {}; }
  void SetColumnTitle(int, const Text&) override {}
  bool IsWindowVisible() const override { return true; }
  void SetWindowVisible(bool) override {}
  void ShowTrayIcon(const Text&) override {}
};

}  // namespace uptorra::test
