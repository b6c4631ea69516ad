#pragma once
// UTF-8 texts (the programs' own) to and from the UTF-16 texts of Windows'
// wide-character interfaces. Windows only.

#include <string>
#include <string_view>

namespace platform {

std::wstring Utf8ToWide(std::string_view text);
std::string WideToUtf8(std::wstring_view text);

}  // namespace platform
