// The controls of the main window, made from the layout table, and everything that depends on
// the DPI: positions, fonts, the status images, the icons and the signature picture.
#include <windows.h>

#include <commctrl.h>

#include <algorithm>

#include "core/Gbk_win.h"
#include "ui/ControlIds.h"
#include "ui/Dpi_win.h"
#include "ui/IntegerEdit_win.h"
#include "ui/MainWindow_win.h"
#include "ui/ResourceIds.h"
#include "ui/SignaturePicture_win.h"

namespace uptorra {

namespace {

struct WindowKind {
  const wchar_t* className;
  DWORD style;
  DWORD exStyle;
};

WindowKind KindOf(const ControlLayout& entry) {
  switch (entry.kind) {
    case ControlKind::ListView:
      // Virtual (owner data): the model paints the rows, so 10,000 hosts cost nothing to load.
      return {WC_LISTVIEWW, LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_OWNERDATA, WS_EX_CLIENTEDGE};
    case ControlKind::Label:
      return {WC_STATICW, SS_LEFT | SS_NOPREFIX | ((entry.flags & kNotifies) ? SS_NOTIFY : 0u), 0};
    case ControlKind::RadioButton:
      return {WC_BUTTONW, BS_AUTORADIOBUTTON, 0};
    case ControlKind::Edit: {
      const DWORD align = (entry.flags & kCentred) ? ES_CENTER : ES_LEFT;
      return {WC_EDITW, ES_AUTOHSCROLL | align, WS_EX_CLIENTEDGE};
    }
    case ControlKind::Button:
      return {WC_BUTTONW, BS_PUSHBUTTON, 0};
    case ControlKind::CheckBox:
      return {WC_BUTTONW, BS_AUTOCHECKBOX, 0};
    case ControlKind::Picture:
      return {WC_STATICW, SS_OWNERDRAW | ((entry.flags & kNotifies) ? SS_NOTIFY : 0u), 0};
    case ControlKind::StatusBar:
      // Placed where the layout says, not docked along the window's bottom edge.
      return {STATUSCLASSNAMEW, CCS_NOPARENTALIGN | CCS_NORESIZE | CCS_NODIVIDER, 0};
  }
  return {WC_STATICW, 0, 0};
}

DWORD CommonStyle(const ControlLayout& entry) {
  DWORD style = WS_CHILD | WS_CLIPSIBLINGS;
  if (!(entry.flags & kHidden)) style |= WS_VISIBLE;
  if (entry.flags & kDisabled) style |= WS_DISABLED;
  if (entry.tabOrder) {
    style |= WS_TABSTOP;
    // Every control is a group of its own, except that the port radio button joins the ICMP
    // one before it: one group of two, where selecting one clears the other.
    if (entry.control != Control::单选框_端口) style |= WS_GROUP;
  } else {
    style |= WS_GROUP;
  }
  return style;
}

UniqueIcon LoadIconSized(HINSTANCE instance, int id, int size) {
  return UniqueIcon(static_cast<HICON>(::LoadImageW(instance, MAKEINTRESOURCEW(id), IMAGE_ICON, size, size, 0)));
}

}  // namespace

bool MainWindow::CreateControls() {
  for (const ControlLayout& entry : MainWindowControls()) {
    const WindowKind kind = KindOf(entry);
    const std::wstring text = WideFromGbk(entry.text);
    // Created in table order: the Tab order of a window is the creation order of its tab stops.
    HWND control = ::CreateWindowExW(kind.exStyle, kind.className, text.c_str(), kind.style | CommonStyle(entry), 0, 0,
                                     0, 0, hwnd_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(ControlId(entry.control))),
                                     instance_, nullptr);
    if (!control) return false;
    controls_[static_cast<std::size_t>(entry.control)] = control;
    if (entry.kind == ControlKind::Edit) {
      ::SendMessageW(control, EM_SETLIMITTEXT, 0, 0);  // no length limit
      if (entry.flags & kIntegerInput) MakeIntegerEdit(control);
    }
    if (entry.flags & kChecked) ::SendMessageW(control, BM_SETCHECK, BST_CHECKED, 0);
  }
  NotifyRightButton(Item(Control::查看日志), kRightButtonMessage);
  Status().SetText(0, {});
  Status().SetText(1, {});
  SetUpList();
  signatureSource_ = DecodePngResource(instance_, IDR_SIGNATURE_PNG);
  ApplyLayout();
  return true;
}

void MainWindow::ApplyLayout() {
  fonts_ = CreateWindowFonts(dpi_);
  RECT client{};
  ::GetClientRect(hwnd_, &client);
  for (const ControlLayout& entry : MainWindowControls()) {
    HWND control = Item(entry.control);
    int top = Scale(entry.rect.top);
    if (entry.kind == ControlKind::StatusBar) {
      // The bar sits on the bottom edge of the client area. Its place in the layout assumes a
      // client area 385 pixels high; where the frame is thinner (the outer size is fixed) the
      // client area is taller, and the bar moves down with the bottom edge instead of cutting
      // through the bottom row of controls. It never moves above its place in the layout.
      top = std::max(top, static_cast<int>(client.bottom) - Scale(entry.rect.height));
    }
    ::SetWindowPos(control, nullptr, Scale(entry.rect.left), top, Scale(entry.rect.width), Scale(entry.rect.height),
                   SWP_NOZORDER | SWP_NOACTIVATE);
    ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(fonts_.For(entry.font)), TRUE);
  }

  std::array<int, kStatusPaneCount> edges{};
  for (int i = 0; i < kStatusPaneCount; ++i) edges[i] = Scale(kStatusPaneRightEdges[i]);
  Status().SetParts(edges);
  for (int i = 0; i < kStatusPaneCount; ++i) Status().SetText(i, panes_[i]);

  const ListView list = List();
  const auto columns = ListColumns();
  for (int i = 0; i < static_cast<int>(columns.size()); ++i) list.SetColumnWidth(i, Scale(columns[i].width));

  LoadPictures();
  ::InvalidateRect(hwnd_, nullptr, TRUE);
}

void MainWindow::LoadPictures() {
  // Window and tray icons at the sizes this DPI asks for, drawn from the multi-size icon.
  // The old icons are destroyed only once nothing shows them any more.
  UniqueIcon big = LoadIconSized(instance_, IDI_UPTORRA, SystemMetricForDpi(SM_CXICON, dpi_));
  UniqueIcon small = LoadIconSized(instance_, IDI_UPTORRA, SystemMetricForDpi(SM_CXSMICON, dpi_));
  ::SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big.get()));
  ::SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small.get()));
  tray_.ChangeIcon(small.get());
  bigIcon_ = std::move(big);
  smallIcon_ = std::move(small);

  // The status images: 0 failure, 1 success. Drawn with their own transparency, so a selected
  // row shows its highlight around them.
  const int size = Scale(16);
  UniqueImageList images(::ImageList_Create(size, size, ILC_COLOR32 | ILC_MASK, 2, 0));
  if (images) {
    ::ImageList_SetBkColor(images.get(), CLR_NONE);
    for (int id : {IDI_STATUS_FAILURE, IDI_STATUS_SUCCESS}) {
      UniqueIcon icon = LoadIconSized(instance_, id, size);
      ::ImageList_AddIcon(images.get(), icon.get());
    }
    List().SetSmallImages(images.get());
    statusImages_ = std::move(images);  // the old list goes only after the control let go of it
  }

  const LayoutRect& box = LayoutOf(Control::图片框1).rect;
  signature_ = RenderPicture(signatureSource_, Scale(box.width), Scale(box.height), ::GetSysColor(COLOR_BTNFACE));
  ::InvalidateRect(Item(Control::图片框1), nullptr, FALSE);
}

}  // namespace uptorra
