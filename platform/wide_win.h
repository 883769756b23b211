// Private to the platform layer's Windows sources: UTF-8 strings as the wide
// strings the system's W functions take, and back.
#pragma once

#include <string>

namespace platform::win {

// s, a UTF-8 string, as a wide string for the system's W functions.
std::wstring wide(const std::string& s);
// s, a wide string from the system, as UTF-8.
std::string utf8(const std::wstring& s);

} // namespace platform::win
