// Hosts-file loading and the GBK-aware text helpers on arbitrary bytes: nothing may crash,
// every loaded row has its six fields, and splitting then joining gives the text back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/HostsFile.h"
#include "core/Text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  uptorra::HostTable table;
  const int rows = uptorra::LoadHostTable(bytes, table);
  if (rows != table.RowCount()) std::abort();
  for (int r = 0; r < rows; ++r) {
    for (int c = uptorra::kColAddress; c <= uptorra::kColStatus; ++c) {
      if (table.GetCell(r, c).find(',') != std::string::npos) std::abort();
    }
  }

  const uptorra::Text text = uptorra::TextOf(bytes);
  for (std::string_view separator : {std::string_view("\r\n"), std::string_view(","), std::string_view("\\")}) {
    const auto pieces = uptorra::SplitText(text, separator);
    std::string joined;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
      if (i) joined += separator;
      joined += pieces[i];
    }
    // Only one trailing empty piece may have been dropped.
    if (joined != text && joined + std::string(separator) != text) std::abort();
  }
  const std::string_view trimmed = uptorra::TrimBlanks(text);
  if (trimmed.size() > text.size()) std::abort();
  return 0;
}
