#include "core/checker_context.h"

#include <cstdio>
#include <stdexcept>

namespace vantrel {

void ReportUnexpected(const TErrorSink& handler, std::exception_ptr error) {
  if (handler) {
    handler(error);
    return;
  }
  std::string what = "unknown error";
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    what = e.what();
  } catch (...) {
  }
  std::fprintf(stderr, "vantrel: unexpected error while checking: %s\n", what.c_str());
}

}  // namespace vantrel
