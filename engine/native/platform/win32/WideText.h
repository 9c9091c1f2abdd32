#pragma once

#include <string>
#include <vector>

namespace Quorvane {

// UTF-8 text as UTF-16. Text that is not valid UTF-8 is widened byte by byte
// (each byte sign-extended), as a byte string was always shown before.
std::wstring WidenText(const std::string& text);
// UTF-16 as UTF-8; an unpaired surrogate becomes U+FFFD.
std::string NarrowText(const std::wstring& text);

// One command line from an argument list, each argument quoted so that the C
// runtime's splitting gives it back intact: spaces, quotes, trailing backslashes.
std::wstring QuoteCommandLine(const std::vector<std::wstring>& arguments);

}  // namespace Quorvane
