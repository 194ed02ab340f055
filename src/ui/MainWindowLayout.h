#pragma once
// The main window's layout as data: every control with its kind, form name, text, position,
// initial state, font and place in the Tab order; the list's columns; the status bar's panes.
// The real window is created from this table, and the test stand-in window starts from the same
// initial states. Sizes are pixels at 96 dpi; the window scales them to the monitor.
#include <array>
#include <cstdint>
#include <optional>
#include <span>

#include "core/Text.h"
#include "ui/WindowServices.h"

namespace uptorra {

inline constexpr int kMainWindowWidth = 766;  // outer size, fixed
inline constexpr int kMainWindowHeight = 430;

enum class ControlKind { ListView, Label, RadioButton, Edit, Button, CheckBox, Picture, StatusBar };

enum class FontRole {
  GuiDefault,  // the platform's default GUI font (one that shows Chinese)
  Chinese,     // "微软雅黑" -12, normal weight, GB2312 (or the stand-in face)
  LinkLabel,   // -12, underlined, GB2312, the system's default face for that character set
};

// Initial state and behaviour flags.
enum ControlFlag : unsigned {
  kHidden = 1u << 0,
  kDisabled = 1u << 1,
  kChecked = 1u << 2,
  kCentred = 1u << 3,       // edit text centred
  kIntegerInput = 1u << 4,  // digits and "-" only, normalised when the focus leaves
  kUnderlined = 1u << 5,
  kNotifies = 1u << 6,  // a label or picture that reports clicks and double-clicks
};

struct LayoutRect {
  int left, top, width, height;
};

struct ControlLayout {
  Control control;
  ControlKind kind;
  const char* formName;  // GBK
  const char* text;      // GBK, the text at start
  LayoutRect rect;       // client coordinates at 96 dpi
  unsigned flags;
  FontRole font;
  // Place in the Tab order; nullopt for a control that never takes the focus. Equal places
  // keep the table's order.
  std::optional<int> tabOrder;
};

// Every control, in the order of creation: Tab order first (the window's Tab order is the
// creation order of its tab stops), the controls that take no focus after them.
std::span<const ControlLayout> MainWindowControls();
const ControlLayout& LayoutOf(Control control);

enum class ColumnAlign { Left, Centre };
struct ColumnLayout {
  const char* title;  // GBK; an asterisk marks a sortable column
  int width;
  ColumnAlign align;
};
inline constexpr int kListColumnCount = 8;
std::span<const ColumnLayout> ListColumns();

// Right edges of the two status-bar panes, from the bar's left edge.
inline constexpr std::array<int, 2> kStatusPaneRightEdges{374, 748};
inline constexpr int kStatusPaneCount = 2;

// The popup menu of the list, placed this far right of and below the mouse cursor.
inline constexpr int kPopupOffset = 3;
inline constexpr const char* kPopupMenuName = "右键菜单";
inline constexpr const char* kPopupSwitchOffText = "关闭监测此主机";
inline constexpr const char* kPopupSwitchOnText = "开启监测此主机";

// The signature picture is stretched to the whole box.
inline constexpr int kSignatureWidth = 288;
inline constexpr int kSignatureHeight = 268;

}  // namespace uptorra
