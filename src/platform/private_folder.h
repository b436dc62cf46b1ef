#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace vantrel {

// A folder of the user's own under the temporary folder ($TMPDIR, else
// /tmp): "<name>-<uid>", mode 0700. Documents written there for the desktop to
// open cannot be read, replaced or planted with a link by another local user.
// Created when missing; an existing one is used only when it is a real folder
// (not a link) owned by the user, and is then made 0700. Throws
// std::runtime_error naming the folder otherwise.
std::filesystem::path PrivateTempFolder(std::string_view name);

// `name` as one file name: path separators, control characters and a
// leading dot become "_", and it is cut (at a whole UTF-8 character) to
// `maxBytes`. An empty name becomes `fallback`.
std::string SafeFileName(std::string_view name, std::string_view fallback,
                         std::size_t maxBytes = 200);

}  // namespace vantrel
