#include "ui/AddHost.h"

#include "core/FileIo.h"
#include "core/HostsFile.h"
#include "core/Text.h"

namespace uptorra {

namespace {

void ShowTip(WindowServices& window, std::string_view message) {
  window.ShowMessage(Text(message), kTipCaption, MessageButtons::Ok);
}

// The field separator and the line end of the hosts file. None of these bytes can be the
// second byte of a GBK character, but the search keeps to character boundaries all the same.
bool HoldsCommaOrLineBreak(std::string_view text) {
  for (std::string_view bad : {",", "\r", "\n"}) {
    if (FindText(text, bad) != std::string_view::npos) return true;
  }
  return false;
}

}  // namespace

void OnProbeTypeRadioClicked(WindowServices& window, Control which) {
  if (which == Control::单选框_端口) {
    if (window.IsChecked(Control::单选框_端口)) {
      window.SetEnabled(Control::编辑框_监测类型, true);
      window.SetControlText(Control::编辑框_重试次数, Text(kPortRetryProposal));
    } else {
      window.SetEnabled(Control::编辑框_监测类型, false);
    }
  } else if (which == Control::单选框_ICMP) {
    if (window.IsChecked(Control::单选框_ICMP)) {
      window.SetEnabled(Control::编辑框_监测类型, false);
      window.SetControlText(Control::编辑框_重试次数, Text(kIcmpRetryProposal));
    } else {
      window.SetEnabled(Control::编辑框_监测类型, true);
    }
  }
}

void OnAddHostClicked(WindowServices& window, HostTable& table, const AppState& state) {
  // The trimmed texts only decide whether a box counts as blank; the row and the file get the
  // texts exactly as they stand in the boxes.
  const Text address = window.ControlText(Control::编辑框_主机地址);
  if (TrimBlanks(address).empty()) {
    ShowTip(window, kEnterAddressMessage);
    return;
  }
  const bool portProbe = window.IsChecked(Control::单选框_端口);
  const Text port = window.ControlText(Control::编辑框_监测类型);
  if (portProbe && TrimBlanks(port).empty()) {
    ShowTip(window, kEnterPortMessage);
    return;
  }
  const Text name = window.ControlText(Control::编辑框_主机名称);
  if (HoldsCommaOrLineBreak(address) || HoldsCommaOrLineBreak(name)) {
    ShowTip(window, kNoCommaOrLineBreakMessage);
    return;
  }
  const Text probeType = portProbe ? port + Text(kPortProbeSuffix) : Text(kIcmpProbeType);
  const Text retries = window.ControlText(Control::编辑框_重试次数);
  const Text interval = window.ControlText(Control::编辑框_监测间隔);

  // The number is the row count plus 1, not the highest number plus 1: after a gap left by a
  // skipped line of the hosts file two rows can show the same number.
  const int row = table.AppendRow(DecimalText(table.RowCount() + 1));
  table.SetCell(row, kColAddress, address);
  table.SetCell(row, kColName, name);
  table.SetCell(row, kColProbeType, probeType);
  table.SetCell(row, kColRetries, retries);
  table.SetCell(row, kColInterval, interval);
  table.SetCell(row, kColStatus, Text(kWaitingForTestStatus));
  table.BringIntoView(row);

  // A missing file counts as empty. A file that is there but cannot be read is left alone:
  // rewriting it from nothing would throw away every host in it. Either way a failure is not
  // reported and the row stays in the table for this run.
  Bytes old;
  if (!ReadWholeFile(state.hostsPath, old) && FileExists(state.hostsPath)) return;
  ReplaceFileAtomically(state.hostsPath, AppendHostLine(old, address, name, probeType, retries, interval));
}

}  // namespace uptorra
