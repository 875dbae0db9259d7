// The ANSI conversions of the settings file, run under code page 936 and
// under 65001 (Windows' "Use Unicode UTF-8 for worldwide language support"):
// TIDE_ACP names the one the run expects.
#include "check.h"

#include "ansi.h"
#include "code_page_936.h"

#include <windows.h>

#include <cstdlib>

namespace {

bool utf8() {
    return GetACP() == CP_UTF8;
}

} // namespace

TEST_CASE("the process runs under the expected code page (the test's own premise)") {
    const char* expected = std::getenv("TIDE_ACP");
    CHECK(GetACP() == UINT(std::atoi(expected ? expected : "936")));
    // UTF-8's characters take several bytes, but none of them looks like ASCII.
    CHECK(ansi::units() == (utf8() ? profile::Units::Single : profile::Units::DoubleByte));
}

TEST_CASE("the whole code page 936 converts as the Linux build converts it") {
    if (!utf8()) {
        CHECK(code_page_936::digest() == code_page_936::windowsDigest);
    }
}

TEST_CASE("Chinese text goes to the code page's bytes and back") {
    const std::u16string text = u"中文测试 Tel：0571-1234";
    auto bytes = ansi::encode(text);
    CHECK(bytes.has_value());
    if (bytes) {
        CHECK_BYTES(*bytes, utf8() ? "\xE4\xB8\xAD\xE6\x96\x87\xE6\xB5\x8B\xE8\xAF\x95 Tel"
                                     "\xEF\xBC\x9A"
                                     "0571-1234"
                                   : "\xD6\xD0\xCE\xC4\xB2\xE2\xCA\xD4 Tel\xA3\xBA"
                                     "0571-1234");
        CHECK(ansi::decode(*bytes) == text);
    }
}

TEST_CASE("UTF-8 holds every character but a lone surrogate") {
    if (!utf8()) {
        return;
    }
    for (std::u16string text : {u"店\U0001F600", u"한글", u"\u0100\u20A9"}) {
        auto bytes = ansi::encode(text);
        CHECK(bytes.has_value() && ansi::decode(*bytes) == text);
    }
    CHECK(!ansi::encode(u"店\xD800").has_value());
}

TEST_CASE("code page 936: GBK bytes decode, and a trail byte that looks like a letter stays put") {
    if (utf8()) {
        return;
    }
    CHECK(ansi::decode("\xC3\xC5\xB5\xEA\xB5\xE7\xBB\xB0") == u"门店电话");
    // 0x81 0x41 and 0x81 0x61 differ only in what would be the letter case of 'A'.
    CHECK(ansi::decode("\x81\x41") == u"丄");
    CHECK(ansi::decode("\x81\x61") == u"乤");
    auto bytes = ansi::encode(u"丄乤");
    CHECK(bytes.has_value());
    if (bytes) {
        CHECK_BYTES(*bytes, "\x81\x41\x81\x61");
    }
}

TEST_CASE("empty text converts to empty text") {
    auto bytes = ansi::encode(u"");
    CHECK(bytes.has_value() && bytes->empty());
    CHECK(ansi::decode("").empty());
}

TEST_CASE("code page 936: characters it cannot hold are refused, not replaced") {
    if (utf8()) {
        return;
    }
    CHECK(!ansi::encode(u"店\U0001F600").has_value()); // emoji, outside the BMP
    CHECK(!ansi::encode(u"한글").has_value());         // Hangul syllables are not in GBK
    // No best fit: a Latin letter with a macron must not quietly become a bare 'A'.
    CHECK(!ansi::encode(u"\u0100").has_value());
    CHECK(!ansi::encode(u"\u20A9").has_value()); // won sign
}

TEST_CASE("broken bytes decode to something, never crash") {
    // A lone lead byte at the end of a file cut short.
    std::u16string text = ansi::decode("abc\x81");
    CHECK(text.size() >= 3 && text.substr(0, 3) == u"abc");
}
