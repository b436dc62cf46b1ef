#pragma once

// The item records `items import` reads: one per item, holding its settings
// under the field names `items list --json` and `items export` write. Either
// a JSON array of objects, or CSV whose header row names the fields. Each
// record becomes a new item through the options of `items add`, so that it is
// checked by the same rules.

#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

class TWatchItem;

// Records that cannot be imported. The message names the record ("record 3:
// Frequency: 0 is out of range ...") or the CSV header.
class EImportError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One record as read: its fields under their own names ("Frequency", whatever
// the letter case of the input), as texts. A field that is not given, null
// or empty is not in it.
struct TItemRecord {
  std::map<std::string, std::string> Fields;
};

// The records of a JSON array of objects. Fields the export writes but that
// are no setting (Id, Created, Status, the statistics, the web-service
// owner) are skipped; an unknown field is an error. Throws EImportError.
std::vector<TItemRecord> ReadJsonRecords(std::string_view text);

// The records of CSV text below a header row that names the fields, which
// must include Url; the same fields as in JSON, each once. Throws
// EImportError.
std::vector<TItemRecord> ReadCsvRecords(std::string_view text);

// Sets up the free-standing new item `item` from `record`, as `items add`
// would with the matching options. Throws EUsageError naming the field.
void ItemFromRecord(const TItemRecord& record, TWatchItem& item);

// The new items `text` describes, JSON when it begins with "[" or "{" (after
// blanks), CSV otherwise; none is made unless all are good. Throws
// EImportError naming the record and the field.
std::vector<std::unique_ptr<TWatchItem>> ReadImportedItems(std::string_view text);

// "  Name, Url, CheckType ...": the fields a record may set, as indented lines
// of help text.
std::string ImportedFieldList();

}  // namespace vantrel
