#include "storage/file_errors.h"

#include <cstring>

namespace vantrel {

EDataFileError::EDataFileError(const std::string& fileName, const std::string& reason)
    : std::runtime_error(fileName + "\r\n" + reason), FileName_(fileName), Reason_(reason) {}

EInOutError::EInOutError(const std::string& fileName, int errorNumber, const std::string& operation)
    : std::runtime_error(fileName + "\r\n" + operation + ": " + std::strerror(errorNumber) + "."),
      FileName_(fileName),
      ErrorNumber_(errorNumber) {}

EInOutError::EInOutError(const std::string& fileName, const std::string& text)
    : std::runtime_error(fileName + "\r\n" + text), FileName_(fileName) {}

EInOutError EInOutError::ReadPastEnd(const std::string& fileName) {
  return EInOutError(fileName, "Read beyond end of file.");
}

}  // namespace vantrel
