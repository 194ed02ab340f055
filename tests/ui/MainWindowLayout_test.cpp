#include "ui/MainWindowLayout.h"

#include <gtest/gtest.h>

#include <set>

namespace uptorra {
namespace {

TEST(MainWindowLayoutTest, EveryControlOnce) {
  std::set<Control> seen;
  for (const ControlSpec& spec : MainWindowControls()) {
    EXPECT_TRUE(seen.insert(spec.control).second) << spec.formName;
    EXPECT_EQ(&SpecOf(spec.control), &spec);
  }
  EXPECT_EQ(seen.size(), static_cast<std::size_t>(Control::状态条1) + 1);
}

TEST(MainWindowLayoutTest, CreationOrderIsTheTabOrder) {
  // The window's Tab order is the creation order of its tab stops: the table must list them
  // first, by ascending place, and the controls that take no focus after them.
  int last = -1;
  bool focusable = true;
  for (const ControlSpec& spec : MainWindowControls()) {
    if (!spec.tabOrder) {
      focusable = false;
      continue;
    }
    EXPECT_TRUE(focusable) << spec.formName << " comes after a control that takes no focus";
    EXPECT_GE(*spec.tabOrder, last) << spec.formName;
    last = *spec.tabOrder;
  }
}

}  // namespace
}  // namespace uptorra
