// One number for the whole of code page 936 as a converter reads and writes
// it: every single byte and every lead byte with every next byte, decoded,
// and every character of the Basic Multilingual Plane, encoded or refused.
// The Linux tests and the Windows tests under Wine check the same number.
#pragma once

#include "ansi.h"

#include <cstdint>
#include <string>

namespace code_page_936 {

// What Windows gives, taken from Wine's MultiByteToWideChar and WideCharToMultiByte.
constexpr uint64_t windowsDigest = 17832574233460071097ull;

inline uint64_t digest() {
    uint64_t hash = 14695981039346656037ull;
    auto add = [&hash](unsigned value) { hash = (hash ^ value) * 1099511628211ull; };
    auto decoded = [&](const std::string& bytes) {
        for (char16_t c : ansi::decode(bytes)) {
            add(c);
        }
        add(0x10000); // the end of one decoding
    };
    for (unsigned lead = 1; lead < 0x100; ++lead) {
        decoded(std::string(1, char(lead)));
        for (unsigned trail = 1; lead >= 0x81 && lead <= 0xFE && trail < 0x100; ++trail) {
            decoded(std::string{char(lead), char(trail)});
        }
    }
    for (unsigned c = 1; c < 0x10000; ++c) {
        if (c >= 0xD800 && c < 0xE000) {
            continue;
        }
        auto bytes = ansi::encode(std::u16string(1, char16_t(c)));
        for (char b : bytes.value_or(std::string())) {
            add(static_cast<unsigned char>(b));
        }
        add(bytes ? 0x100 : 0x200);
    }
    return hash;
}

} // namespace code_page_936
