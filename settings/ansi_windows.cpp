// Free of Qt, so that it is compiled and tested with the cross compiler.
#include "ansi.h"

#include <windows.h>

namespace ansi {

std::optional<std::string> encode(std::u16string_view text) {
    if (text.empty()) {
        return std::string();
    }
    auto wide = reinterpret_cast<const wchar_t*>(text.data());
    const int count = int(text.size());
    // The code page by its number: with CP_ACP some systems let flags pass
    // that its own code page refuses.
    const UINT cp = GetACP();
    // UTF-8 (Windows' "Use Unicode UTF-8 for worldwide language support")
    // takes no best-fit flag and no lost-character report: it holds every
    // character, and only a lone surrogate is refused.
    const bool utf8 = cp == CP_UTF8;
    const DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    BOOL lost = FALSE;
    BOOL* report = utf8 ? nullptr : &lost;
    const int size = WideCharToMultiByte(cp, flags, wide, count, nullptr, 0, nullptr, report);
    if (size <= 0 || lost) {
        return std::nullopt; // the code page cannot hold every character
    }
    std::string out(size_t(size), '\0');
    if (WideCharToMultiByte(cp, flags, wide, count, out.data(), size, nullptr, report) != size ||
        lost) {
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
    // Only the double-byte code pages have trail bytes that look like ASCII;
    // UTF-8, whose characters also take several bytes, has none.
    CPINFO info{};
    if (GetCPInfo(CP_ACP, &info) && info.MaxCharSize == 2) {
        return profile::Units::DoubleByte;
    }
    return profile::Units::Single;
}

} // namespace ansi
