// Adding a host: the radio buttons, the checks, the new row and the line appended to
// MyHosts.csv.
#include "ui/AddHost.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "core/FileIo.h"
#include "core/Gbk_win.h"
#include "core/HostsFile.h"
#include "core/Startup.h"
#include "core/UniqueHandle_win.h"
#include "support/TempDir_win.h"
#include "ui/ColumnSort.h"
#include "ui/ScriptedWindow.h"

namespace uptorra {
namespace {

using test::ScriptedWindow;
using test::TempDir;

const Text kHeader = "主机地址/域名,主机名称,监测类型,重试次数,监测间隔(s),监测状态";

TEST(ProbeTypeRadio, SwitchesThePortBoxAndProposesRetries) {
  ScriptedWindow window;
  window.SetControlText(Control::编辑框_监测类型, "8080");
  window.SetControlText(Control::编辑框_重试次数, "5");

  window.SelectRadio(Control::单选框_端口);
  OnProbeTypeRadioClicked(window, Control::单选框_端口);
  EXPECT_TRUE(window.IsEnabled(Control::编辑框_监测类型));
  EXPECT_EQ(window.ControlText(Control::编辑框_重试次数), "1");

  window.SelectRadio(Control::单选框_ICMP);
  OnProbeTypeRadioClicked(window, Control::单选框_ICMP);
  EXPECT_FALSE(window.IsEnabled(Control::编辑框_监测类型));
  EXPECT_EQ(window.ControlText(Control::编辑框_重试次数), "2");

  // The port text stays while its box is off; the interval is never touched.
  EXPECT_EQ(window.ControlText(Control::编辑框_监测类型), "8080");
  EXPECT_EQ(window.ControlText(Control::编辑框_监测间隔), "120");
}

TEST(ProbeTypeRadio, ClickThatLeavesItsButtonClearOnlySwitchesTheBox) {
  ScriptedWindow window;
  window.SetControlText(Control::编辑框_重试次数, "7");
  // 单选框_ICMP is selected: a click event of 单选框_端口 finds itself clear.
  OnProbeTypeRadioClicked(window, Control::单选框_端口);
  EXPECT_FALSE(window.IsEnabled(Control::编辑框_监测类型));
  window.SelectRadio(Control::单选框_端口);
  OnProbeTypeRadioClicked(window, Control::单选框_ICMP);
  EXPECT_TRUE(window.IsEnabled(Control::编辑框_监测类型));
  EXPECT_EQ(window.ControlText(Control::编辑框_重试次数), "7");
}

class AddHostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetFilePaths(state, dir.path());
    ASSERT_TRUE(ReplaceFileAtomically(state.hostsPath, DefaultHostsFileContent()));
    Bytes bytes;
    ASSERT_TRUE(ReadWholeFile(state.hostsPath, bytes));
    LoadHostTable(bytes, table);
  }
  Text HostsFile() const {
    Bytes bytes;
    ReadWholeFile(state.hostsPath, bytes);
    return bytes;
  }
  void Type(const Text& address, const Text& name) {
    window.SetControlText(Control::编辑框_主机地址, address);
    window.SetControlText(Control::编辑框_主机名称, name);
  }
  void ExpectRefused(const Text& message, int rowsBefore, const Text& fileBefore) {
    ASSERT_EQ(window.boxes.size(), 1u);
    EXPECT_EQ(window.boxes[0].text, message);
    EXPECT_EQ(window.boxes[0].caption, "KWO提示");
    EXPECT_EQ(window.boxes[0].buttons, MessageButtons::Ok);
    EXPECT_EQ(table.RowCount(), rowsBefore);
    EXPECT_EQ(HostsFile(), fileBefore);
    window.boxes.clear();
  }

  TempDir dir{"添加主机"};
  ScriptedWindow window;
  HostTable table;
  AppState state;
};

TEST_F(AddHostTest, IcmpHostGoesIntoTheTableAndTheFile) {
  const Text before = HostsFile();
  window.SetControlText(Control::编辑框_监测类型, "80");  // left in the disabled port box
  Type("10.0.0.2", "数据库");
  table.TakeChanges();
  OnAddHostClicked(window, table, state);

  EXPECT_TRUE(window.boxes.empty());
  ASSERT_EQ(table.RowCount(), 2);
  const HostRow row = table.Snapshot(1);
  EXPECT_EQ(row.cells, (std::array<Text, kColumnCount>{"2", "10.0.0.2", "数据库", "ICMP", "2", "120", "等待测试", ""}));
  EXPECT_EQ(row.images[kColStatus], kNoImage);
  EXPECT_EQ(table.TakeChanges().bringIntoView, 1);
  EXPECT_EQ(HostsFile(), before + "\r\n10.0.0.2,数据库,ICMP,2,120,等待测试");
  // The boxes keep their texts for the next similar host.
  EXPECT_EQ(window.ControlText(Control::编辑框_主机地址), "10.0.0.2");
  EXPECT_EQ(window.ControlText(Control::编辑框_主机名称), "数据库");

  // The next start loads the host again.
  HostTable reloaded;
  LoadHostTable(HostsFile(), reloaded);
  ASSERT_EQ(reloaded.RowCount(), 2);
  EXPECT_EQ(reloaded.GetCell(1, kColAddress), "10.0.0.2");
}

TEST_F(AddHostTest, PortHostWithEmptyFieldsAndBlanksKeptAsTyped) {
  window.SelectRadio(Control::单选框_端口);
  window.SetControlText(Control::编辑框_监测类型, "8080");
  window.SetControlText(Control::编辑框_重试次数, "");
  window.SetControlText(Control::编辑框_监测间隔, "");
  Type(" web.example.com　", "");
  const Text before = HostsFile();
  OnAddHostClicked(window, table, state);

  ASSERT_EQ(table.RowCount(), 2);
  EXPECT_EQ(table.GetCell(1, kColAddress), " web.example.com　");
  EXPECT_EQ(table.GetCell(1, kColName), "");
  EXPECT_EQ(table.GetCell(1, kColProbeType), "8080端口");
  EXPECT_EQ(table.GetCell(1, kColRetries), "");
  EXPECT_EQ(HostsFile(), before + "\r\n web.example.com　,,8080端口,,,等待测试");
}

TEST_F(AddHostTest, BlankBoxesAreRefused) {
  const Text before = HostsFile();
  struct Case {
    Text address;
    bool portProbe;
    Text port;
    Text message;
  };
  const Case cases[] = {
      {"", false, "", "请输入主机地址！"},
      {"  ", false, "", "请输入主机地址！"},
      {"　 　", true, "", "请输入主机地址！"},  // the address is checked first
      {"h", true, "", "请输入端口号！"},
      {"h", true, " 　", "请输入端口号！"},
  };
  for (const Case& c : cases) {
    window.SelectRadio(c.portProbe ? Control::单选框_端口 : Control::单选框_ICMP);
    window.SetControlText(Control::编辑框_监测类型, c.port);
    Type(c.address, "name");
    OnAddHostClicked(window, table, state);
    ExpectRefused(c.message, 1, before);
  }
}

TEST_F(AddHostTest, CommaOrLineBreakInAddressOrNameIsRefused) {
  const Text before = HostsFile();
  const std::pair<Text, Text> refused[] = {
      {"10.0.0.2,80", "name"}, {"host", "机房,二楼"}, {"host\r\n", "name"},
      {"host", "a\rb"},        {"host", "a\nb"},      {",", ""},
  };
  for (const auto& [address, name] : refused) {
    Type(address, name);
    OnAddHostClicked(window, table, state);
    ExpectRefused("主机地址和名称中不能包含逗号或换行！", 1, before);
  }
  // The full-width comma is an ordinary character of the name.
  Type("host", "机房，二楼");
  OnAddHostClicked(window, table, state);
  EXPECT_TRUE(window.boxes.empty());
  HostTable reloaded;
  LoadHostTable(HostsFile(), reloaded);
  ASSERT_EQ(reloaded.RowCount(), 2);
  EXPECT_EQ(reloaded.GetCell(1, kColName), "机房，二楼");
}

TEST_F(AddHostTest, NumberIsTheRowCountPlusOne) {
  ASSERT_TRUE(ReplaceFileAtomically(state.hostsPath, kHeader + "\r\na,,ICMP,2,120,等待测试\r\nbad line\r\nc,,ICMP,2,120,等待测试"));
  HostTable gapped;
  LoadHostTable(HostsFile(), gapped);
  ASSERT_EQ(gapped.GetCell(1, kColNumber), "3");
  Type("d", "");
  OnAddHostClicked(window, gapped, state);
  EXPECT_EQ(gapped.GetCell(2, kColNumber), "3");
}

TEST_F(AddHostTest, TwoHostsGiveTwoLinesAndATrailingLineEndGivesAnEmptyLine) {
  ASSERT_TRUE(ReplaceFileAtomically(state.hostsPath, kHeader + "\r\n"));
  Type("a", "");
  OnAddHostClicked(window, table, state);
  Type("b", "");
  OnAddHostClicked(window, table, state);
  EXPECT_EQ(HostsFile(), kHeader + "\r\n\r\na,,ICMP,2,120,等待测试\r\nb,,ICMP,2,120,等待测试");
  HostTable reloaded;
  EXPECT_EQ(LoadHostTable(HostsFile(), reloaded), 2);
  EXPECT_EQ(reloaded.GetCell(0, kColNumber), "2");  // the empty line is skipped
}

TEST_F(AddHostTest, MissingFileIsWrittenWithAnEmptyHeaderLine) {
  ASSERT_TRUE(::DeleteFileW(WideFromGbk(state.hostsPath).c_str()));
  Type("a", "");
  OnAddHostClicked(window, table, state);
  EXPECT_EQ(HostsFile(), "\r\na,,ICMP,2,120,等待测试");
  HostTable reloaded;
  EXPECT_EQ(LoadHostTable(HostsFile(), reloaded), 1);
}

TEST_F(AddHostTest, FileHeldByAnotherProgramKeepsItsHosts) {
  const Text before = HostsFile();
  {
    // Another program holds the file open without sharing it: it can be neither read nor
    // replaced. Nothing may be written from an empty old content.
    UniqueFileHandle holder(::CreateFileW(WideFromGbk(state.hostsPath).c_str(), GENERIC_READ, 0, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(holder);
    Bytes unreadable;
    ASSERT_FALSE(ReadWholeFile(state.hostsPath, unreadable));
    Type("a", "");
    OnAddHostClicked(window, table, state);
  }
  EXPECT_EQ(table.RowCount(), 2) << "the row stays for this run";
  EXPECT_EQ(HostsFile(), before) << "the hosts already in the file must not be lost";
}

TEST_F(AddHostTest, AfterASortTheNewHostGoesToTheBottom) {
  Type("b", "");
  OnAddHostClicked(window, table, state);
  OnColumnClick(window, table, kColNumber);  // 2, 1
  ASSERT_EQ(table.GetCell(0, kColNumber), "2");
  Type("c", "");
  OnAddHostClicked(window, table, state);
  EXPECT_EQ(table.GetCell(2, kColAddress), "c");
  EXPECT_EQ(table.GetCell(2, kColNumber), "3");
  EXPECT_EQ(window.ColumnTitle(kColNumber), "序号↓");
}

}  // namespace
}  // namespace uptorra
