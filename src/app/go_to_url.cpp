#include "app/go_to_url.h"

namespace vantrel {

std::string UrlToOpen(std::string_view url) {
  if (url.find("://") != std::string_view::npos)
    return std::string(url);
  return "http://" + std::string(url);
}

}  // namespace vantrel
