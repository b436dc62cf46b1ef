#pragma once

#include <string>
#include <string_view>

namespace vantrel {

// The address that "Go To URL" opens for an item's Url: a Url without a
// scheme ("://") is taken as a web address; one with any scheme is left as it is.
std::string UrlToOpen(std::string_view url);

}  // namespace vantrel
