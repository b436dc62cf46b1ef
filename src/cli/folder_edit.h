#pragma once

#include <optional>
#include <string>

#include "app/data_folder_lock.h"
#include "cli/command_context.h"
#include "cli/loaded_watch_list.h"
#include "core/settings.h"

namespace vantrel {

// The data folder taken for one edit of its watch list: the lock is held from
// before the list is loaded until after it is saved, so a monitor cannot start
// in between and later save its own copy over the edit.
class TFolderEdit {
 public:
  // Takes the folder of `args` for `command` ("items add") and loads its
  // list. Throws EFolderInUse naming the holder when another process has it.
  TFolderEdit(const TCommandContext& context, const TParsedArgs& args, const std::string& command);

  TLoadedWatchList& Files() { return *Files_; }
  TWatchList& List() { return Files_->List(); }

 private:
  TDataFolderLock Lock_;
  // The built-in settings: an edit shows nothing that depends on them.
  TSettings Settings_;
  std::optional<TLoadedWatchList> Files_;
};

}  // namespace vantrel
