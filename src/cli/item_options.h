#pragma once

// The options of `items add` and `items set`: one per item setting, mapped
// onto the item's fields with the ranges the properties dialog allows.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/cli_args.h"
#include "core/watch_types.h"

namespace vantrel {

class TWatchItem;

// The item options, in the order the help lists them.
const std::vector<TOptionSpec>& ItemOptionSpecs();
bool IsItemOption(std::string_view name);

// Applies the item options among `options` to `item`, in the order given, so
// that the last of contradicting options wins; other options are left alone.
// Single-line texts are trimmed, and control characters in a name become
// blanks. Throws EUsageError naming the option for a value the dialog would
// not accept: a number out of range or not a number, an empty or over-long
// name or URL, an unknown method or e-mail kind; and for control characters
// (line breaks, escape sequences) inside the URL, e-mail addresses, command
// or sound file.
void ApplyItemOptions(const std::vector<TParsedOption>& options, TWatchItem& item);

// Applies the item option `option` with `value` to `item`, as
// ApplyItemOptions does, but errors name `label` in place of the option (the
// field of a record that `items import` reads).
void ApplyItemOption(std::string_view option, std::string_view label, const std::string& value,
                     TWatchItem& item);

// What a new item gets for the settings not given: without a method, an http
// or https URL is downloaded and anything else pinged; without a name, the
// URL names it.
void CompleteNewItem(TWatchItem& item, bool methodGiven, bool nameGiven);

// Seconds from "90", "30s", "5m" or "2h", within 1 second and 59 hours.
// Throws EUsageError naming `option`.
std::int32_t ParseFrequency(std::string_view option, std::string_view text);

// "ping", "download", "smtp", "pop3", "ftp" (letter case ignored).
std::optional<TCheckType> CheckTypeByName(std::string_view name);

// How a URL is checked when the user names no method: by download when it is
// an http or https URL, otherwise by ping (of the host after any "://").
TCheckType DefaultCheckType(std::string_view url);

// The options' part of the help of `items add` and `items set`.
std::string ItemOptionsHelp();

}  // namespace vantrel
