#include "alerts/version.h"

#include <algorithm>

#include "platform/version_info.h"

namespace vantrel {

TVersionInfo GetVersionInfo() {
  TVersionInfo info;
  info.FileDescription = std::string(kProgramTitle) + ", a monitor of web sites and hosts";
  info.FileVersion = kFileVersion;
  info.FileVersionDigits = info.FileVersion;
  std::erase(info.FileVersionDigits, '.');
  info.InternalName = "vantrel";
  info.OriginalFileName = "vantrel";
  info.ProductName = kProgramTitle;
  info.ProductVersion = kFileVersion;
  info.Comments = kProductSite;
  return info;
}

}  // namespace vantrel
