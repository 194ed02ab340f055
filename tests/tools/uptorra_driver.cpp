// uptorra_driver: works the real Uptorra window from outside, as an operator would, for the
// end-to-end tests. It runs in the same Wine prefix as the program and prints JSON (UTF-8).
//
//   uptorra_driver <command> [arguments...]   one command, one JSON answer
//   uptorra_driver serve                      one JSON array [command, arguments...] per input
//                                             line, one JSON answer per output line
//
// Every answer is {"ok": true, "result": ...} or {"ok": false, "error": "..."}. Commands:
//   find [pid]                 the main window: hwnd, pid, title, visible, rectangles
//   windows                    every main window of the program in the prefix (find's fields)
//   state [maxRows]            every control, the panes, the list (columns and up to maxRows rows)
//   rows first count           list cells and images of a range of rows
//   click id                   a button click (BM_CLICK, posted)
//   type id text               characters typed into a control (WM_CHAR, posted)
//   settext id text            replaces a control's text
//   focus id                   gives a control the keyboard focus
//   dblclick id                a double-click on a control (mouse messages, posted)
//   point id                   screen point at the centre of a control (for xdotool)
//   listpoint row|below        screen point of a list row, or of the empty area below the rows
//   headerpoint column         screen point of a column title
//   boxes                      the program's message boxes: caption, text, buttons
//   answer caption button      presses OK/Cancel/Yes/No (or a button's text) in that box
//   menus                      the program's open popup menus (rectangles)
//   menukey vk...              keys (virtual-key codes) sent to the open popup menu
//   tray                       the notification-area icons: tip texts, places
//   trayclick tip message      a mouse message (e.g. 514 = WM_LBUTTONUP) on the icon with that tip
//   sync                       waits until the window has handled what was posted to it
//   close                      a close request as from the title bar's close button
//                              (WM_SYSCOMMAND SC_CLOSE, posted)
//   kill                       ends the program's process
//   memory [pid]               the program's working set, private bytes (peak too) and handles
//                              (from the system's handle table where the count of the process is 0)
//   clearfirstrun              deletes the first-run mark (HKLM and HKCU)
//   markfirstrun               writes the first-run mark, so that the next start is not a
//                              first start
// Control ids are the program's own (ui/ControlIds.h); names may be given instead.
#include <windows.h>

#include <commctrl.h>
#include <fcntl.h>
#include <io.h>
#include <psapi.h>

#include <algorithm>
#include <iostream>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "core/Gbk_win.h"
#include "support/RemoteWindow_win.h"
#include "support/SystemHandles_win.h"
#include "ui/ControlIds.h"
#include "ui/MainWindowLayout.h"

namespace {

using nlohmann::json;
using namespace uptorra;
using namespace uptorra::test;

struct Failure {
  std::string message;
};

[[noreturn]] void Fail(const std::string& message) { throw Failure{message}; }

std::string FormName(Control control) { return Utf8FromWide(WideFromGbk(LayoutOf(control).formName)); }

json RectJson(const RECT& r) { return {r.left, r.top, r.right - r.left, r.bottom - r.top}; }

json PointJson(POINT p) { return {p.x, p.y}; }

DWORD ProcessOf(HWND hwnd) {
  DWORD pid = 0;
  ::GetWindowThreadProcessId(hwnd, &pid);
  return pid;
}

struct Session {
  DWORD wantedPid = 0;  // 0: any
  HWND main = nullptr;

  HWND Main() {
    if (main && ::IsWindow(main)) return main;
    main = nullptr;
    HWND candidate = nullptr;
    while ((candidate = ::FindWindowExW(nullptr, candidate, kMainWindowClass, nullptr)) != nullptr) {
      if (wantedPid == 0 || ProcessOf(candidate) == wantedPid) {
        main = candidate;
        break;
      }
    }
    if (!main) Fail("main window not found");
    return main;
  }

  HWND ControlById(const std::string& name) {
    HWND window = Main();
    int id = 0;
    for (const ControlLayout& entry : MainWindowControls()) {
      if (FormName(entry.control) == name) id = ControlId(entry.control);
    }
    if (id == 0) id = std::atoi(name.c_str());
    HWND control = ::GetDlgItem(window, id);
    if (!control) Fail("no control " + name);
    return control;
  }
};

// Windows of the program's process with a class name (message boxes, menus).
std::vector<HWND> ProcessWindows(DWORD pid, const wchar_t* className) {
  struct Search {
    DWORD pid;
    const wchar_t* className;
    std::vector<HWND> found;
  } search{pid, className, {}};
  ::EnumWindows(
      [](HWND hwnd, LPARAM context) -> BOOL {
        auto* s = reinterpret_cast<Search*>(context);
        if (ProcessOf(hwnd) == s->pid && ClassNameOf(hwnd) == s->className) s->found.push_back(hwnd);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

std::vector<HWND> Children(HWND parent) {
  std::vector<HWND> children;
  for (HWND child = ::GetWindow(parent, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
    children.push_back(child);
  }
  return children;
}

POINT CentreOnScreen(HWND hwnd) {
  RECT r{};
  ::GetWindowRect(hwnd, &r);
  return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

json WindowJson(HWND hwnd) {
  RECT window{}, client{};
  ::GetWindowRect(hwnd, &window);
  ::GetClientRect(hwnd, &client);
  POINT origin{0, 0};
  ::ClientToScreen(hwnd, &origin);
  return {{"hwnd", reinterpret_cast<std::uintptr_t>(hwnd)},
          {"pid", ProcessOf(hwnd)},
          {"title", Utf8FromWide(RemoteWindowText(hwnd))},
          {"visible", ::IsWindowVisible(hwnd) != FALSE},
          {"iconic", ::IsIconic(hwnd) != FALSE},
          {"style", ::GetWindowLongW(hwnd, GWL_STYLE)},
          {"exstyle", ::GetWindowLongW(hwnd, GWL_EXSTYLE)},
          {"rect", RectJson(window)},
          {"client", {origin.x, origin.y, client.right, client.bottom}}};
}

json RowsJson(HWND list, int first, int count) {
  json rows = json::array();
  json images = json::array();
  const int columns = static_cast<int>(ListViewColumns(list).size());
  for (int row = first; row < first + count; ++row) {
    json cells = json::array();
    json cellImages = json::array();
    for (int column = 0; column < columns; ++column) {
      cells.push_back(Utf8FromWide(ListViewCellText(list, row, column)));
      cellImages.push_back(ListViewCellImage(list, row, column));
    }
    rows.push_back(cells);
    images.push_back(cellImages);
  }
  return {{"first", first}, {"cells", rows}, {"images", images}};
}

json StateJson(Session& session, int maxRows) {
  HWND main = session.Main();
  json controls = json::object();
  json tabOrder = json::array();
  for (HWND child : Children(main)) {
    const int id = ::GetDlgCtrlID(child);
    std::string name = std::to_string(id);
    for (const ControlLayout& entry : MainWindowControls()) {
      if (ControlId(entry.control) == id) name = FormName(entry.control);
    }
    RECT r{};
    ::GetWindowRect(child, &r);
    POINT topLeft{r.left, r.top};
    ::ScreenToClient(main, &topLeft);
    const LONG style = ::GetWindowLongW(child, GWL_STYLE);
    const std::wstring className = ClassNameOf(child);
    json control = {{"id", id},
                    {"class", Utf8FromWide(className)},
                    {"text", Utf8FromWide(RemoteWindowText(child))},
                    {"enabled", ::IsWindowEnabled(child) != FALSE},
                    {"visible", ::IsWindowVisible(child) != FALSE},
                    {"style", style},
                    {"exstyle", ::GetWindowLongW(child, GWL_EXSTYLE)},
                    {"rect", {topLeft.x, topLeft.y, r.right - r.left, r.bottom - r.top}}};
    if (_wcsicmp(className.c_str(), WC_BUTTONW) == 0) {
      control["checked"] = SendWithTimeout(child, BM_GETCHECK, 0, 0) == BST_CHECKED;
    }
    if (style & WS_TABSTOP) tabOrder.push_back(name);
    controls[name] = control;
  }
  HWND focus = nullptr;
  GUITHREADINFO gui{};
  gui.cbSize = sizeof gui;
  if (::GetGUIThreadInfo(::GetWindowThreadProcessId(main, nullptr), &gui)) focus = gui.hwndFocus;

  HWND bar = ::GetDlgItem(main, ControlId(Control::状态条1));
  json panes = json::array();
  const std::vector<int> parts = StatusBarParts(bar);
  for (int i = 0; i < static_cast<int>(parts.size()); ++i) panes.push_back(Utf8FromWide(StatusBarText(bar, i)));

  HWND list = ::GetDlgItem(main, ControlId(Control::超级列表框1));
  json columns = json::array();
  for (const RemoteColumn& column : ListViewColumns(list)) {
    columns.push_back({{"title", Utf8FromWide(column.title)}, {"width", column.width}, {"format", column.format}});
  }
  const int count = static_cast<int>(SendWithTimeout(list, LVM_GETITEMCOUNT, 0, 0));
  json listJson = {{"count", count},
                   {"columns", columns},
                   {"selected", static_cast<int>(SendWithTimeout(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED))},
                   {"exstyle", SendWithTimeout(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0)},
                   {"top", static_cast<int>(SendWithTimeout(list, LVM_GETTOPINDEX, 0, 0))},
                   {"perpage", static_cast<int>(SendWithTimeout(list, LVM_GETCOUNTPERPAGE, 0, 0))},
                   {"imagelist", SendWithTimeout(list, LVM_GETIMAGELIST, LVSIL_SMALL, 0) != 0}};
  listJson["rows"] = RowsJson(list, 0, std::min(count, maxRows));

  json state = {{"window", WindowJson(main)}, {"controls", controls}, {"tabOrder", tabOrder},
                {"panes", panes},             {"parts", parts},       {"list", listJson}};
  state["focus"] = focus ? ::GetDlgCtrlID(focus) : 0;
  return state;
}

json BoxesJson(DWORD pid) {
  json boxes = json::array();
  for (HWND box : ProcessWindows(pid, L"#32770")) {
    json buttons = json::array();
    std::wstring text;
    for (HWND child : Children(box)) {
      const std::wstring className = ClassNameOf(child);
      if (_wcsicmp(className.c_str(), L"Button") == 0 && ::IsWindowVisible(child)) {
        buttons.push_back({{"id", ::GetDlgCtrlID(child)}, {"text", Utf8FromWide(RemoteWindowText(child))}});
      } else if (_wcsicmp(className.c_str(), L"Static") == 0) {
        const std::wstring childText = RemoteWindowText(child);
        if (childText.size() > text.size()) text = childText;
      }
    }
    boxes.push_back({{"hwnd", reinterpret_cast<std::uintptr_t>(box)},
                     {"caption", Utf8FromWide(RemoteWindowText(box))},
                     {"text", Utf8FromWide(text)},
                     {"visible", ::IsWindowVisible(box) != FALSE},
                     {"buttons", buttons}});
  }
  return boxes;
}

json Answer(DWORD pid, const std::wstring& caption, const std::string& button) {
  const std::pair<const char*, int> named[] = {{"OK", IDOK}, {"Cancel", IDCANCEL}, {"Yes", IDYES}, {"No", IDNO}};
  for (HWND box : ProcessWindows(pid, L"#32770")) {
    if (RemoteWindowText(box) != caption) continue;
    int id = 0;
    for (const auto& [name, value] : named) {
      if (button == name) id = value;
    }
    for (HWND child : Children(box)) {
      const int childId = ::GetDlgCtrlID(child);
      if ((id != 0 && childId == id) || (id == 0 && Utf8FromWide(RemoteWindowText(child)) == button)) {
        // Posted to the box itself: it answers whatever window has the focus.
        ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(childId, BN_CLICKED), reinterpret_cast<LPARAM>(child));
        return {{"box", reinterpret_cast<std::uintptr_t>(box)}, {"button", childId}};
      }
    }
    Fail("no button " + button + " in the box");
  }
  Fail("no box with that caption");
}

// The notification area's icons, from the tooltips of the process that shows them (Explorer,
// or Wine's tray): one tool per icon, holding the tip text and the icon's place.
struct TrayIconInfo {
  std::wstring tip;
  HWND window = nullptr;  // the window that receives the icon's mouse messages
  RECT client{};          // the icon's place in that window
  RECT screen{};
};

std::vector<TrayIconInfo> TrayIcons() {
  std::vector<TrayIconInfo> icons;
  HWND tray = ::FindWindowW(L"Shell_TrayWnd", nullptr);
  if (!tray) return icons;
  for (HWND tooltip : ProcessWindows(ProcessOf(tray), TOOLTIPS_CLASSW)) {
    const int count = static_cast<int>(SendWithTimeout(tooltip, TTM_GETTOOLCOUNT, 0, 0));
    RemoteBuffer buffer(tooltip, sizeof(TTTOOLINFOW) + kRemoteTextUnits * sizeof(wchar_t));
    for (int i = 0; i < count && buffer.valid(); ++i) {
      TTTOOLINFOW info{};
      info.cbSize = sizeof info;
      info.lpszText = buffer.At<wchar_t>(sizeof(TTTOOLINFOW));
      buffer.Write(&info, sizeof info);
      if (!SendWithTimeout(tooltip, TTM_ENUMTOOLSW, i, buffer.Param())) continue;
      buffer.Read(&info, sizeof info);
      TrayIconInfo icon;
      icon.tip = buffer.ReadText(sizeof(TTTOOLINFOW), kRemoteTextUnits);
      if (info.uFlags & TTF_IDISHWND) {
        icon.window = reinterpret_cast<HWND>(info.uId);
        ::GetClientRect(icon.window, &icon.client);
      } else {
        icon.window = info.hwnd;
        icon.client = info.rect;
      }
      icon.screen = icon.client;
      ::MapWindowPoints(icon.window, nullptr, reinterpret_cast<POINT*>(&icon.screen), 2);
      icons.push_back(icon);
    }
  }
  return icons;
}

json TrayJson() {
  json icons = json::array();
  for (const TrayIconInfo& icon : TrayIcons()) {
    icons.push_back({{"tip", Utf8FromWide(icon.tip)},
                     {"window", reinterpret_cast<std::uintptr_t>(icon.window)},
                     {"visible", ::IsWindowVisible(icon.window) != FALSE},
                     {"rect", RectJson(icon.screen)}});
  }
  return icons;
}

void PostClick(HWND control, UINT down, UINT up, UINT doubleClick) {
  RECT r{};
  ::GetClientRect(control, &r);
  const LPARAM at = MAKELPARAM(r.right / 2, r.bottom / 2);
  const WPARAM button = down == WM_LBUTTONDOWN ? MK_LBUTTON : MK_RBUTTON;
  ::PostMessageW(control, down, button, at);
  ::PostMessageW(control, up, 0, at);
  if (doubleClick) {
    ::PostMessageW(control, doubleClick, button, at);
    ::PostMessageW(control, up, 0, at);
  }
}

std::wstring Arg(const std::vector<std::wstring>& args, std::size_t i) {
  if (i >= args.size()) Fail("missing argument");
  return args[i];
}

// Handles a process holds, counted in the system's handle table (GetProcessHandleCount gives 0
// for another process under Wine), in all and per object type, the type named by one of the
// handles duplicated into this process. total -1 when the table cannot be read.
struct HandleCounts {
  long long total = -1;
  json byType = json::object();
};

HandleCounts HandleCountsOf(DWORD pid) {
  HandleCounts counts;
  const std::optional<std::vector<SystemHandle>> handles = HandlesOfProcess(pid);
  if (!handles) return counts;
  counts.total = static_cast<long long>(handles->size());
  std::map<USHORT, std::pair<long long, ULONG_PTR>> types;  // type: count, one handle of it
  for (const SystemHandle& handle : *handles) {
    auto& type = types[handle.type];
    ++type.first;
    type.second = handle.handle;
  }
  const UniqueHandle process(::OpenProcess(PROCESS_DUP_HANDLE, FALSE, pid));
  for (const auto& [type, info] : types) {
    std::string name = std::to_string(type);
    if (process) {
      if (const UniqueHandle copy = DuplicateFrom(process.get(), info.second)) {
        const std::wstring typeName = ObjectTypeName(copy.get());
        if (!typeName.empty()) name = Utf8FromWide(typeName);
      }
    }
    counts.byType[name] = info.first;
  }
  return counts;
}

json Run(Session& session, const std::vector<std::wstring>& args) {
  const std::string command = Utf8FromWide(Arg(args, 0));
  auto argUtf8 = [&](std::size_t i) { return Utf8FromWide(Arg(args, i)); };
  auto argInt = [&](std::size_t i) { return std::stoll(argUtf8(i), nullptr, 0); };

  if (command == "find") {
    if (args.size() > 1) session.wantedPid = static_cast<DWORD>(argInt(1));
    session.main = nullptr;
    return WindowJson(session.Main());
  }
  if (command == "windows") {
    json windows = json::array();
    HWND candidate = nullptr;
    while ((candidate = ::FindWindowExW(nullptr, candidate, kMainWindowClass, nullptr)) != nullptr) {
      windows.push_back(WindowJson(candidate));
    }
    return windows;
  }
  if (command == "state") return StateJson(session, args.size() > 1 ? static_cast<int>(argInt(1)) : 200);
  if (command == "rows") {
    HWND list = ::GetDlgItem(session.Main(), ControlId(Control::超级列表框1));
    return RowsJson(list, static_cast<int>(argInt(1)), static_cast<int>(argInt(2)));
  }
  if (command == "click") {
    ::PostMessageW(session.ControlById(argUtf8(1)), BM_CLICK, 0, 0);
    return true;
  }
  if (command == "type") {
    HWND control = session.ControlById(argUtf8(1));
    for (wchar_t ch : Arg(args, 2)) ::PostMessageW(control, WM_CHAR, ch, 1);
    return true;
  }
  if (command == "settext") {
    const std::wstring text = Arg(args, 2);
    return SendWithTimeout(session.ControlById(argUtf8(1)), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str())) != 0;
  }
  if (command == "focus") {
    HWND control = session.ControlById(argUtf8(1));
    const DWORD target = ::GetWindowThreadProcessId(control, nullptr);
    const DWORD self = ::GetCurrentThreadId();
    // SetFocus works on windows of the calling thread's input queue only: share it a moment.
    ::AttachThreadInput(self, target, TRUE);
    ::SetFocus(control);
    ::AttachThreadInput(self, target, FALSE);
    return true;
  }
  if (command == "dblclick") {
    PostClick(session.ControlById(argUtf8(1)), WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK);
    return true;
  }
  if (command == "point") return PointJson(CentreOnScreen(session.ControlById(argUtf8(1))));
  if (command == "listpoint") {
    HWND list = ::GetDlgItem(session.Main(), ControlId(Control::超级列表框1));
    RECT client{};
    ::GetClientRect(list, &client);
    POINT p{};
    if (argUtf8(1) == "below") {
      const int count = static_cast<int>(SendWithTimeout(list, LVM_GETITEMCOUNT, 0, 0));
      RECT last{LVIR_BOUNDS, 0, 0, 0};
      int bottom = 0;
      if (count > 0 && RemoteRect(list, LVM_GETITEMRECT, count - 1, RECT{LVIR_BOUNDS, 0, 0, 0}, last)) bottom = last.bottom;
      if (bottom + 4 >= client.bottom) Fail("no empty area below the last row");
      p = POINT{client.right / 3, (bottom + client.bottom) / 2};
    } else {
      RECT row{};
      if (!RemoteRect(list, LVM_GETITEMRECT, static_cast<WPARAM>(argInt(1)), RECT{LVIR_BOUNDS, 0, 0, 0}, row)) {
        Fail("no such row");
      }
      p = POINT{std::min<LONG>(row.left + 60, (row.left + row.right) / 2), (row.top + row.bottom) / 2};
    }
    ::ClientToScreen(list, &p);
    return PointJson(p);
  }
  if (command == "headerpoint") {
    HWND list = ::GetDlgItem(session.Main(), ControlId(Control::超级列表框1));
    HWND header = reinterpret_cast<HWND>(SendWithTimeout(list, LVM_GETHEADER, 0, 0));
    RECT r{};
    if (!header || !RemoteRect(header, HDM_GETITEMRECT, static_cast<WPARAM>(argInt(1)), RECT{}, r)) Fail("no such column");
    POINT p{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    ::ClientToScreen(header, &p);
    return PointJson(p);
  }
  if (command == "boxes") return BoxesJson(ProcessOf(session.Main()));
  if (command == "answer") {
    // The box may come before the main window is shown (the usage text at first start).
    HWND main = nullptr;
    try {
      main = session.Main();
    } catch (const Failure&) {
    }
    DWORD pid = main ? ProcessOf(main) : session.wantedPid;
    if (pid == 0) Fail("answer needs the program's pid before its window exists: find <pid> first");
    return Answer(pid, Arg(args, 1), argUtf8(2));
  }
  if (command == "boxesof") return BoxesJson(static_cast<DWORD>(argInt(1)));
  if (command == "menus") {
    json menus = json::array();
    for (HWND menu : ProcessWindows(ProcessOf(session.Main()), L"#32768")) {
      if (!::IsWindowVisible(menu)) continue;
      RECT r{};
      ::GetWindowRect(menu, &r);
      menus.push_back({{"hwnd", reinterpret_cast<std::uintptr_t>(menu)}, {"rect", RectJson(r)}});
    }
    return menus;
  }
  if (command == "menukey") {
    HWND menu = nullptr;
    for (HWND candidate : ProcessWindows(ProcessOf(session.Main()), L"#32768")) {
      if (::IsWindowVisible(candidate)) menu = candidate;
    }
    if (!menu) Fail("no open menu");
    for (std::size_t i = 1; i < args.size(); ++i) {
      const WPARAM key = static_cast<WPARAM>(argInt(i));
      ::PostMessageW(menu, WM_KEYDOWN, key, 1);
      ::PostMessageW(menu, WM_KEYUP, key, 0xC0000001);
    }
    return true;
  }
  if (command == "tray") return TrayJson();
  if (command == "trayclick") {
    // A mouse message on the first icon with that tip, where the tray expects it.
    const std::wstring tip = Arg(args, 1);
    const UINT message = static_cast<UINT>(argInt(2));
    for (const TrayIconInfo& icon : TrayIcons()) {
      if (icon.tip != tip) continue;
      const LPARAM at = MAKELPARAM((icon.client.left + icon.client.right) / 2, (icon.client.top + icon.client.bottom) / 2);
      const bool buttonUp = message == WM_LBUTTONUP || message == WM_RBUTTONUP;
      ::PostMessageW(icon.window, message, buttonUp ? 0 : MK_LBUTTON, at);
      return true;
    }
    Fail("no tray icon with that tip");
  }
  if (command == "close") {
    ::PostMessageW(session.Main(), WM_SYSCOMMAND, SC_CLOSE, 0);
    return true;
  }
  if (command == "sync") {
    // A sent message overtakes the posted ones (a thread handles what was sent to it before it
    // takes the next posted message), so answering one proves nothing about earlier posts.
    // Instead a marker is posted behind them: the pushed state of the hidden button 发送邮件,
    // which nothing else touches and which draws nothing while the button is hidden.
    HWND main = session.Main();
    bool ok = false;
    SendWithTimeout(main, WM_NULL, 0, 0, &ok);
    if (!ok) Fail("window not answering");
    HWND marker = ::GetDlgItem(main, ControlId(Control::发送邮件));
    if (!marker) Fail("no marker button");
    ::PostMessageW(marker, BM_SETSTATE, TRUE, 0);
    const ULONGLONG deadline = ::GetTickCount64() + 20000;
    while ((SendWithTimeout(marker, BM_GETSTATE, 0, 0) & BST_PUSHED) == 0) {
      if (::GetTickCount64() > deadline) Fail("window not handling posted messages");
      ::Sleep(5);
    }
    SendWithTimeout(marker, BM_SETSTATE, FALSE, 0);
    return true;
  }
  if (command == "memory") {
    const DWORD pid = args.size() > 1 ? static_cast<DWORD>(argInt(1)) : ProcessOf(session.Main());
    HANDLE process = ::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
    if (!process) Fail("cannot open the process");
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof(counters);
    const BOOL haveMemory =
        ::K32GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof(counters));
    DWORD handles = 0;
    const BOOL haveHandles = ::GetProcessHandleCount(process, &handles);
    ::CloseHandle(process);
    if (!haveMemory) Fail("no memory counters");
    const HandleCounts table = HandleCountsOf(pid);
    return {{"pid", pid},
            {"working_set", counters.WorkingSetSize},
            {"peak_working_set", counters.PeakWorkingSetSize},
            {"private_bytes", counters.PrivateUsage},
            {"peak_private_bytes", counters.PeakPagefileUsage},
            {"handles", haveHandles && handles ? json(handles) : table.total >= 0 ? json(table.total) : json(nullptr)},
            {"handle_types", table.byType}};
  }
  if (command == "kill") {
    const DWORD pid = args.size() > 1 ? static_cast<DWORD>(argInt(1)) : ProcessOf(session.Main());
    HANDLE process = ::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
    if (!process) Fail("cannot open the process");
    const bool ended = ::TerminateProcess(process, 1) != FALSE && ::WaitForSingleObject(process, 5000) == WAIT_OBJECT_0;
    ::CloseHandle(process);
    return ended;
  }
  if (command == "clearfirstrun") {
    json result = json::array();
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
      const LSTATUS status = ::RegDeleteTreeW(root, L"SOFTWARE\\KWO\\Uptorra");
      result.push_back(status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND);
    }
    return result;
  }
  if (command == "markfirstrun") {
    HKEY key = nullptr;
    if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\KWO\\Uptorra", 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                          nullptr) != ERROR_SUCCESS) {
      Fail("cannot create the first-run key");
    }
    static const wchar_t kOne[] = L"1";
    const LSTATUS status =
        ::RegSetValueExW(key, L"FirstRun", 0, REG_SZ, reinterpret_cast<const BYTE*>(kOne), sizeof kOne);
    ::RegCloseKey(key);
    return status == ERROR_SUCCESS;
  }
  Fail("unknown command " + command);
}

json Execute(Session& session, const std::vector<std::wstring>& args) {
  try {
    return {{"ok", true}, {"result", Run(session, args)}};
  } catch (const Failure& failure) {
    return {{"ok", false}, {"error", failure.message}};
  } catch (const std::exception& e) {
    return {{"ok", false}, {"error", std::string("exception: ") + e.what()}};
  }
}

void Print(const json& answer) {
  const std::string line = answer.dump(-1, ' ', false, json::error_handler_t::replace) + "\n";
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fflush(stdout);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  _setmode(_fileno(stdout), _O_BINARY);
  Session session;
  std::vector<std::wstring> args(argv + 1, argv + argc);
  if (args.empty()) {
    Print({{"ok", false}, {"error", "usage: uptorra_driver <command> [arguments] | serve"}});
    return 2;
  }
  if (args[0] != L"serve") {
    const json answer = Execute(session, args);
    Print(answer);
    return answer["ok"].get<bool>() ? 0 : 1;
  }
  std::string line;
  while (std::getline(std::cin, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    std::vector<std::wstring> request;
    try {
      for (const json& item : json::parse(line)) {
        request.push_back(WideFromUtf8(item.is_string() ? item.get<std::string>() : item.dump()));
      }
    } catch (const std::exception& e) {
      Print({{"ok", false}, {"error", std::string("bad request: ") + e.what()}});
      continue;
    }
    if (!request.empty() && request[0] == L"quit") break;
    Print(request.empty() ? json{{"ok", false}, {"error", "empty request"}} : Execute(session, request));
  }
  return 0;
}
