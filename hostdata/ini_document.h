#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "hostdata/status.h"

namespace quorbel {

// A reader and writer for INI text, pure over UTF-8 text, that reads what
// the Windows private-profile functions write and writes what they read:
// - "[section]" lines and "key=value" lines; section and key names match
//   without regard to ASCII case; white space around names and values is
//   trimmed; one pair of enclosing quotes (double or single) is removed from
//   a value; lines starting with ';' are comments;
// - the first section of a name, and the first key of a name in it, count;
// - LF and CRLF both read.

// The value of `key` in `section`, or nothing when either is missing.
std::optional<std::string> findIniValue(std::string_view document, std::string_view section, std::string_view key);

// Whether the entry can be written so that it reads back as given: names
// without line breaks, NULs, '=' (keys) or ']' (sections), and values
// without line breaks or NULs.
Status checkIniEntry(std::string_view section, std::string_view key, std::string_view value);

// The document with `key` in `section` set to `value` (checked with
// checkIniEntry first). Every other line is kept byte for byte; the key's
// line is replaced where it is, a missing key goes after the last key line
// of its section, and a missing section is appended at the end. New lines
// end as the document's first line does (LF for a document without one). A
// value that would not read back as given (outer white space, enclosing
// quotes) is written inside an extra pair of double quotes.
std::string setIniValue(std::string_view document, std::string_view section, std::string_view key,
                        std::string_view value);

}  // namespace quorbel
