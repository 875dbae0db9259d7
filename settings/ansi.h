// The system's ANSI code page, in which SysInfo.ini is kept when it carries
// no byte-order mark: the active code page on Windows, code page 936 elsewhere.
#pragma once

#include "profile.h"

#include <optional>
#include <string>
#include <string_view>

namespace ansi {

// The bytes of `text`, or nothing when the code page cannot hold all of it.
std::optional<std::string> encode(std::u16string_view text);
std::u16string decode(std::string_view bytes);
profile::Units units();

} // namespace ansi
