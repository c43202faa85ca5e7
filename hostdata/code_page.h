#pragma once

#include <string>
#include <string_view>

namespace quorbel {

// Text is UTF-8 in memory and code page 936 in the files the program shares
// with its older installations. Both directions go through GB18030, a
// superset of code page 936: every code-page-936 character keeps its bytes
// and no character is lost on the way out.

// UTF-8 to GB18030 bytes. A byte that is not part of valid UTF-8 becomes '?'.
std::string toCodePage936(std::string_view utf8);

// Code page 936 (read as GB18030) to UTF-8. Each byte that cannot be decoded
// becomes U+FFFD; the single byte 0x80 reads as U+20AC, as code page 936 has it.
std::string fromCodePage936(std::string_view bytes);

// True when the bytes are well-formed UTF-8 (no overlong forms, surrogates or
// values past U+10FFFF).
bool isValidUtf8(std::string_view bytes);

// Text files written on Linux are UTF-8. One that is not is read as UTF-16
// when it starts with a UTF-16 byte order mark (left out of the result), and
// otherwise as code page 936.
std::string textFileAsUtf8(std::string_view bytes);

}  // namespace quorbel
