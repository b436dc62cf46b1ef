#include "cli/folder_edit.h"

namespace vantrel {

TFolderEdit::TFolderEdit(const TCommandContext& context, const TParsedArgs& args,
                         const std::string& command)
    : Lock_(UseDataFolder(context, args), "vantrel-cli " + command) {
  if (!Lock_.TryLock()) {
    const bool monitor =
        Lock_.Holder() && Lock_.Holder()->Program.find(" run") != std::string::npos;
    throw EFolderInUse(Lock_.InUseMessage() +
                       (monitor ? " Stop the monitor before changing the watch list."
                                : " Try again when it has finished."));
  }
  Files_.emplace(Lock_.Folder(), Settings_, context.Err);
}

}  // namespace vantrel
