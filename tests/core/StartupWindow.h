#pragma once
// A stand-in window that records what start-up shows.
#include <map>
#include <vector>

#include "support/QuietWindow.h"

namespace uptorra::test {

class StartupWindow : public QuietWindow {
 public:
  struct Box {
    Text text, caption;
    MessageButtons buttons;
  };
  std::vector<Box> boxes;

  MessageAnswer ShowMessage(const Text& text, const Text& caption, MessageButtons buttons) override {
    boxes.push_back({text, caption, buttons});
    return MessageAnswer::Ok;
  }
};

}  // namespace uptorra::test
