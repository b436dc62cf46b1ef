#pragma once

#include <stdexcept>
#include <string>

namespace vantrel {

// The three reasons a data file is refused.
inline constexpr const char* kFileNotFound = "File not found.";
inline constexpr const char* kWrongFileFormat = "Wrong file format.";
inline constexpr const char* kWrongFileVersion = "Wrong file version.";

// A data file that exists but is not what it should be. The message is the
// file name, CR LF, and one of the reasons above.
class EDataFileError : public std::runtime_error {
 public:
  EDataFileError(const std::string& fileName, const std::string& reason);

  const std::string& FileName() const { return FileName_; }
  const std::string& Reason() const { return Reason_; }

 private:
  std::string FileName_;
  std::string Reason_;
};

// An error of the file layer itself: a missing file, reading past the end, a
// full disk. The message is the file name, CR LF, and what failed.
class EInOutError : public std::runtime_error {
 public:
  // `errorNumber` is the errno of the failed call.
  EInOutError(const std::string& fileName, int errorNumber, const std::string& operation);

  // A read that wanted more bytes than the file holds.
  static EInOutError ReadPastEnd(const std::string& fileName);

  const std::string& FileName() const { return FileName_; }
  // The errno of the failed call; 0 for a read past the end.
  int ErrorNumber() const { return ErrorNumber_; }
  bool IsReadPastEnd() const { return ErrorNumber_ == 0; }

 private:
  EInOutError(const std::string& fileName, const std::string& text);

  std::string FileName_;
  int ErrorNumber_ = 0;
};

}  // namespace vantrel
