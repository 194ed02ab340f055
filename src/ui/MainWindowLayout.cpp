#include "ui/MainWindowLayout.h"

namespace uptorra {

namespace {

using enum Control;
using enum ControlKind;
using enum FontRole;

constexpr std::array<ControlLayout, 23> kControls{{
    // control            kind         form name           text at start           rect (l, t, w, h)   flags                  font        tab
    {超级列表框1, ListView, "超级列表框1", "", {0, 0, 756, 283}, 0, Chinese, 0},
    {单选框_ICMP, RadioButton, "单选框_ICMP", "ICMP", {11, 326, 50, 16}, kChecked, GuiDefault, 0},
    {单选框_端口, RadioButton, "单选框_端口", "端口", {11, 352, 50, 16}, 0, GuiDefault, 1},
    {编辑框_监测类型, Edit, "编辑框_监测类型", "", {64, 348, 45, 24}, kDisabled | kCentred | kIntegerInput, Chinese, 2},
    {编辑框_重试次数, Edit, "编辑框_重试次数", "2", {195, 320, 40, 24}, kCentred | kIntegerInput, Chinese, 3},
    {编辑框_监测间隔, Edit, "编辑框_监测间隔", "120", {195, 348, 40, 24}, kCentred | kIntegerInput, Chinese, 4},
    {编辑框_主机地址, Edit, "编辑框_主机地址", "", {341, 291, 120, 24}, 0, Chinese, 5},
    {编辑框_主机名称, Edit, "编辑框_主机名称", "", {341, 321, 120, 24}, 0, Chinese, 6},
    {添加主机, Button, "添加主机", "添加主机", {309, 350, 80, 24}, 0, GuiDefault, 7},
    {选择框1, CheckBox, "选择框1", "状态邮件", {674, 297, 80, 16}, 0, GuiDefault, 8},
    {启动监测, Button, "启动监测", "启动监测", {673, 322, 80, 24}, 0, GuiDefault, 10},
    {停止监测, Button, "停止监测", "停止监测", {673, 350, 80, 24}, kDisabled, GuiDefault, 11},
    {查看日志, Button, "查看日志", "查看日志", {578, 293, 80, 24}, 0, GuiDefault, 12},
    {编辑配置, Button, "编辑配置", "编辑配置", {578, 322, 80, 24}, 0, GuiDefault, 13},
    {重启程序, Button, "重启程序", "重启程序", {578, 350, 80, 24}, 0, GuiDefault, 14},
    // No focus. 发送邮件 is created hidden and nothing shows it.
    {标签3, Label, "标签3", "监测类型(Wx_Pusher)", {11, 295, 120, 16}, kUnderlined | kNotifies, LinkLabel, std::nullopt},
    {发送邮件, Button, "发送邮件", "发送邮件", {155, 293, 80, 24}, kHidden, GuiDefault, std::nullopt},
    {标签4, Label, "标签4", "重试次数", {132, 325, 60, 16}, 0, GuiDefault, std::nullopt},
    {标签5, Label, "标签5", "监测间隔(s)", {125, 352, 66, 16}, 0, GuiDefault, std::nullopt},
    {标签1, Label, "标签1", "主机地址/域名", {253, 295, 80, 16}, 0, GuiDefault, std::nullopt},
    {标签2, Label, "标签2", "主机名称(可空)", {253, 325, 82, 16}, 0, GuiDefault, std::nullopt},
    {图片框1, Picture, "图片框1", "", {479, 295, 80, 80}, kNotifies, GuiDefault, std::nullopt},
    {状态条1, StatusBar, "状态条1", "", {0, 365, 578, 20}, 0, GuiDefault, std::nullopt},
}};

constexpr std::array<ColumnLayout, kListColumnCount> kColumns{{
    {"序号*", 48, ColumnAlign::Left},
    {"主机地址/域名*", 110, ColumnAlign::Centre},
    {"主机名称*", 100, ColumnAlign::Centre},
    {"监测类型*", 72, ColumnAlign::Centre},
    {"重试", 38, ColumnAlign::Centre},
    {"间隔(s)", 56, ColumnAlign::Centre},
    {"监测状态*", 178, ColumnAlign::Centre},
    {"测试时间", 132, ColumnAlign::Centre},
}};

}  // namespace

std::span<const ControlLayout> MainWindowControls() { return kControls; }

const ControlLayout& LayoutOf(Control control) {
  for (const ControlLayout& entry : kControls) {
    if (entry.control == control) return entry;
  }
  return kControls[0];  // unreachable: every control is in the table (a unit test checks)
}

std::span<const ColumnLayout> ListColumns() { return kColumns; }

}  // namespace uptorra
