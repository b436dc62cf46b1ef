#pragma once

#include <filesystem>
#include <string_view>

namespace vantrel {

// Writes `text` as a document for the desktop to open (a report, an alarm
// page) into the user's private folder under the temporary folder
// (PrivateTempFolder("vantrel")), under `fileName` made safe as one file name
// (`fallback` when nothing is left of it), readable by the user only and
// replaced atomically, so a browser still showing the old one never reads
// half of the new one. Its path. Throws what the folder and the write throw.
std::filesystem::path WritePrivateDocument(std::string_view fileName, std::string_view text,
                                           std::string_view fallback);

}  // namespace vantrel
