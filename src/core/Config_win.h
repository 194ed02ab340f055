#pragma once
#include <windows.h>

#include <vector>

#include "core/Config.h"

namespace uptorra {

inline constexpr const char* kFirstRunKey = "SOFTWARE\\KWO\\Uptorra";
inline constexpr const char* kFirstRunValue = "FirstRun";

// The first-run mark in the registry. The mark is looked for under every root in turn and
// written under the first root that accepts it: HKEY_LOCAL_MACHINE, and HKEY_CURRENT_USER for
// a standard user who has no right to write HKLM (otherwise the usage box would come back at
// every start).
class RegistryFirstRun : public FirstRunStore {
 public:
  RegistryFirstRun() : roots_{HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER} {}
  RegistryFirstRun(std::vector<HKEY> roots, const char* subKey) : roots_(std::move(roots)), subKey_(subKey) {}
  bool IsMarked() override;
  void Mark() override;

 private:
  std::vector<HKEY> roots_;
  const char* subKey_ = kFirstRunKey;
};

}  // namespace uptorra
