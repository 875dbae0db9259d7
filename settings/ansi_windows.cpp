// Free of Qt, so that it is compiled and tested with the cross compiler.
#include "ansi.h"

#include <windows.h>

namespace ansi {

std::optional<std::string> encode(std::u16string_view text) {
    if (text.empty()) {
        return std::string();
    }
    auto wide = reinterpret_cast<const wchar_t*>(text.data());
    int count = int(text.size());
    BOOL lost = FALSE;
    int size =
        WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, count, nullptr, 0, nullptr, &lost);
    if (size <= 0 || lost) {
        return std::nullopt; // the code page cannot hold every character
    }
    std::string out(size_t(size), '\0');
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, count, out.data(), size, nullptr,
                        &lost);
    if (lost) {
        return std::nullopt;
    }
    return out;
}

std::u16string decode(std::string_view bytes) {
    if (bytes.empty()) {
        return {};
    }
    int count = int(bytes.size());
    int size = MultiByteToWideChar(CP_ACP, 0, bytes.data(), count, nullptr, 0);
    std::u16string out(size_t(size > 0 ? size : 0), u'\0');
    if (size > 0) {
        MultiByteToWideChar(CP_ACP, 0, bytes.data(), count, reinterpret_cast<wchar_t*>(out.data()),
                            size);
    }
    return out;
}

profile::Units units() {
    CPINFO info{};
    if (GetCPInfo(CP_ACP, &info) && info.MaxCharSize > 1) {
        return profile::Units::DoubleByte;
    }
    return profile::Units::Single;
}

} // namespace ansi
