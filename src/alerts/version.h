#pragma once

#include <string>

namespace vantrel {

// The program's version block, in its order; what the build compiled in.
struct TVersionInfo {
  std::string CompanyName;
  std::string FileDescription;
  std::string FileVersion;        // "0.1.0.0"
  std::string FileVersionDigits;  // the same without its dots: "0100"
  std::string InternalName;
  std::string LegalCopyright;
  std::string LegalTrademarks;
  std::string OriginalFileName;
  std::string ProductName;
  std::string ProductVersion;
  std::string Comments;
};

// The version of this build (the file name the version block would be read
// from does not matter: every program of the build shares one version).
TVersionInfo GetVersionInfo();

}  // namespace vantrel
