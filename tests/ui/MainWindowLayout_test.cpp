#include "ui/MainWindowLayout.h"

#include <gtest/gtest.h>

#include <set>

namespace uptorra {
namespace {

TEST(MainWindowLayoutTest, EveryControlOnce) {
  std::set<Control> seen;
  for (const ControlLayout& entry : MainWindowControls()) {
    EXPECT_TRUE(seen.insert(entry.control).second) << entry.formName;
    EXPECT_EQ(&LayoutOf(entry.control), &entry);
  }
  EXPECT_EQ(seen.size(), static_cast<std::size_t>(Control::状态条1) + 1);
}

TEST(MainWindowLayoutTest, CreationOrderIsTheTabOrder) {
  // The window's Tab order is the creation order of its tab stops: the table must list them
  // first, by ascending place, and the controls that take no focus after them.
  int last = -1;
  bool focusable = true;
  for (const ControlLayout& entry : MainWindowControls()) {
    if (!entry.tabOrder) {
      focusable = false;
      continue;
    }
    EXPECT_TRUE(focusable) << entry.formName << " comes after a control that takes no focus";
    EXPECT_GE(*entry.tabOrder, last) << entry.formName;
    last = *entry.tabOrder;
  }
}

}  // namespace
}  // namespace uptorra
