#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/file_ops.h"
#include "reports/report_item.h"

namespace vantrel {

// All report definitions, in the order the report manager lists them, one of
// them the default report, and their data file (.vtr). The entries a list box
// shows are the definitions in list order (EntryText); Selected is that list
// box's selection. Main thread only.
class TReportList {
 public:
  using TReportEvent = std::function<void(const TReportItem& report)>;

  // `ops` must outlive the list. Empty, no default, not modified.
  explicit TReportList(std::string fileName, TFileOps& ops = PosixFileOps());
  TReportList(const TReportList&) = delete;
  TReportList& operator=(const TReportList&) = delete;

  // Raised with each definition removed (Delete, Clear, Rebuild), before it
  // is destroyed.
  TReportEvent OnDelete;

  int Count() const { return static_cast<int>(Items_.size()); }
  TReportItem& Item(int index) const { return *Items_.at(static_cast<std::size_t>(index)); }
  // The name, with " (default)" after the default report's.
  std::string EntryText(int index) const;
  // The selected entry, or -1.
  int Selected() const { return Selected_; }
  void SetSelected(int index) { Selected_ = index; }

  // A new definition set up as `source`, with an Id one above the highest
  // (0 for the first); its entry becomes the selected one.
  TReportItem& Add(const TReportItem& source);
  // The user edited the definition at `index`.
  void Changed(int index);
  // Removes the definition at `index` (raising OnDelete); the entry after it,
  // or before it when it was the last, becomes the selected one.
  void Delete(int index);
  void SetDefault(int index);
  // The default definition; null when there is none.
  TReportItem* Default() const { return Default_; }
  // The index of the definition with that Id, or -1.
  int IndexOfId(std::int32_t id) const;
  // Removes every definition, from the last, raising OnDelete for each.
  void Clear();
  // Clear, then the built-in definitions, the first of them the default.
  void Rebuild();

  // Replaces the definitions with those of the file. Throws the container's
  // errors; a file that ends inside a definition, or holds more after the
  // last one, is "Wrong file format.". The definitions read before an error
  // stay. A missing file leaves the list empty.
  void LoadFromFile();
  // Writes the file anew, through a temporary file, when the list is Modified
  // and not empty. A failed save throws and leaves Modified set.
  void SaveToFile();

  const std::string& FileName() const { return FileName_; }
  bool Modified() const { return Modified_; }
  void SetModified(bool modified) { Modified_ = modified; }

 private:
  void RemoveAt(int index);

  std::string FileName_;
  TFileOps& Ops_;
  std::vector<std::unique_ptr<TReportItem>> Items_;
  TReportItem* Default_ = nullptr;
  int Selected_ = -1;
  bool Modified_ = false;
};

// Loads the definitions of `list` as the report manager does at start: the
// file when there is one, the built-in set when that leaves the list empty.
// An error of the file is handed to `onError` with its message, and the list
// keeps what was read before it; the damaged file is then not marked for
// rewriting, so that only a change by the user replaces it.
void LoadReportDefinitions(TReportList& list,
                           const std::function<void(const std::string&)>& onError);

}  // namespace vantrel
