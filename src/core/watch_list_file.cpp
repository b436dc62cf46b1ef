// The watch-list data file: after the container's header, the item count and
// one record per item in the item view's row order. A record is one block per
// field; fields added in later versions of the file are read only from files
// of those versions (older files leave them at the new-item values).

#include <cmath>
#include <filesystem>
#include <system_error>

#include "core/update_scope.h"
#include "core/watch_item.h"
#include "core/watch_list.h"
#include "storage/atomic_file.h"
#include "storage/file_errors.h"
#include "storage/file_system.h"
#include "storage/file_system_fields.h"
#include "storage/file_system_format.h"

namespace vantrel {

namespace {

namespace fs = std::filesystem;

// File versions in hundredths ("1.02" is 102), the first to hold a field.
constexpr long kVersionCheckConnection = 102;
constexpr long kVersionServiceFields = 200;  // ServiceId and the three user fields
constexpr long kVersionCheckExtra = 210;     // also ServiceTimeout

long VersionHundredths(const TxxFileSystem& file) {
  return std::lround(file.Version() * 100);
}

}  // namespace

void TWatchItem::ReadFrom(TxxFileSystem& file) {
  const long version = VersionHundredths(file);
  SetId(file.ReadInteger());
  Created = file.ReadDouble();
  Name = file.ReadString();
  Url = file.ReadString();
  // Directly, not through SetFrequency: the item stays due at once until the
  // history replay schedules it.
  Frequency_ = file.ReadInteger();
  SetActive(ReadBool(file));
  AlarmTrigger = ReadBool(file);
  TriggerCount = file.ReadInteger();
  AlarmReset = ReadBool(file);
  ResetCount = file.ReadInteger();
  if (version >= kVersionCheckExtra)
    CheckExtra = ReadBool(file);
  if (version >= kVersionCheckConnection)
    CheckConnection = ReadBool(file);
  CheckType = ReadEnum<TCheckType>(file);
  PingTimeout = file.ReadInteger();
  DownloadTimeout = file.ReadInteger();
  SearchText = file.ReadString();
  CaseSensitive = ReadBool(file);
  LogFailedPages = ReadBool(file);
  if (version >= kVersionCheckExtra)
    ServiceTimeout = file.ReadInteger();
  PopupAction = ReadBool(file);
  PopupText = file.ReadString();
  EmailAction = ReadBool(file);
  EmailAddress = file.ReadString();
  EmailType = ReadEnum<TEmailType>(file);
  ReportId = file.ReadInteger();
  CommandAction = ReadBool(file);
  Command = file.ReadString();
  SoundAction = ReadBool(file);
  SoundFile = file.ReadString();
  SoundRepeat = ReadBool(file);
  if (version >= kVersionServiceFields) {
    ServiceId = file.ReadInteger();
    Username = file.ReadString();
    UserEmail = file.ReadString();
    UserFullName = file.ReadString();
  }
}

void TWatchItem::WriteTo(TxxFileSystem& file) const {
  file.WriteInteger(Id_);
  file.WriteDouble(Created);
  file.WriteString(Name);
  file.WriteString(Url);
  file.WriteInteger(Frequency_);
  WriteBool(file, Active_);
  WriteBool(file, AlarmTrigger);
  file.WriteInteger(TriggerCount);
  WriteBool(file, AlarmReset);
  file.WriteInteger(ResetCount);
  WriteBool(file, CheckExtra);
  WriteBool(file, CheckConnection);
  WriteEnum(file, CheckType);
  file.WriteInteger(PingTimeout);
  file.WriteInteger(DownloadTimeout);
  file.WriteString(SearchText);
  WriteBool(file, CaseSensitive);
  WriteBool(file, LogFailedPages);
  file.WriteInteger(ServiceTimeout);
  WriteBool(file, PopupAction);
  file.WriteString(PopupText);
  WriteBool(file, EmailAction);
  file.WriteString(EmailAddress);
  WriteEnum(file, EmailType);
  file.WriteInteger(ReportId);
  WriteBool(file, CommandAction);
  file.WriteString(Command);
  WriteBool(file, SoundAction);
  file.WriteString(SoundFile);
  WriteBool(file, SoundRepeat);
  file.WriteInteger(ServiceId);
  file.WriteString(Username);
  file.WriteString(UserEmail);
  file.WriteString(UserFullName);
}

void TWatchList::LoadFromFile() {
  std::error_code error;
  if (!fs::exists(FileName_, error))
    return;
  // Also marks the list modified, so the next save rewrites the file.
  Clear();
  {
    TUpdateScope<TWatchList> listUpdate(*this);
    TUpdateScope<TItemView> viewUpdate(ItemView_);
    TxxFileSystem file(FileName_, kWatchListSignature, kWatchListVersion, kDataPassPhrase);
    file.Open(omRead);
    const std::int32_t count = file.ReadInteger();
    for (std::int32_t i = 0; i < count; ++i) {
      TWatchItem& item = NewItem();
      try {
        item.ReadFrom(file);
      } catch (...) {
        // The items read so far stay; a half-read one would be checked unseen.
        DestroyItem(Count() - 1);
        throw;
      }
      UpdateRow(ItemView_.AddRow(&item));
    }
    if (count > 0)
      ItemView_.SetSelected(0, true);
    // Blocks after the last counted item mean a damaged count: a save would
    // drop the items they hold.
    if (!file.Eof())
      throw EDataFileError(FileName_, kWrongFileFormat);
    file.Close();
  }
  ShowSelectedDetails();
}

void TWatchList::SaveToFile(TFileOps& ops) {
  // An empty list is written too (count 0): skipping it would bring deleted
  // items back at the next start.
  if (!Modified_)
    return;
  // Written beside the real file and renamed over it, so a crash or a full
  // disk leaves the old list, never a truncated one.
  TAtomicFile target(FileName_, TFilePermissions::KeepOr(kNewFileMode), ops);
  TxxFileSystem file(target.TemporaryPath(), kWatchListSignature, kWatchListVersion,
                     kDataPassPhrase, ops);
  file.Open(omCreate);
  std::int32_t count = 0;
  for (int row = 0; row < ItemView_.RowCount(); ++row) {
    if (ItemView_.RowItem(row) != nullptr)
      ++count;
  }
  file.WriteInteger(count);
  for (int row = 0; row < ItemView_.RowCount(); ++row) {
    if (const TWatchItem* item = ItemView_.RowItem(row))
      item->WriteTo(file);
  }
  file.Close();
  target.Commit();
  Modified_ = false;
}

}  // namespace vantrel
