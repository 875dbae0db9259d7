// The ANSI conversions of the settings file, run under code page 936.
#include "check.h"

#include "ansi.h"
#include "code_page_936.h"

#include <windows.h>

TEST_CASE("the process runs under code page 936 (the test's own premise)") {
    CHECK(GetACP() == 936);
    CHECK(ansi::units() == profile::Units::DoubleByte);
}

TEST_CASE("the whole code page converts as the Linux build converts it") {
    CHECK(code_page_936::digest() == code_page_936::windowsDigest);
}

TEST_CASE("Chinese text goes to GBK bytes and back") {
    const std::u16string text = u"中文测试 Tel：0571-1234";
    auto bytes = ansi::encode(text);
    CHECK(bytes.has_value());
    if (bytes) {
        CHECK_BYTES(*bytes, "\xD6\xD0\xCE\xC4\xB2\xE2\xCA\xD4 Tel\xA3\xBA"
                            "0571-1234");
        CHECK(ansi::decode(*bytes) == text);
    }
    CHECK(ansi::decode("\xC3\xC5\xB5\xEA\xB5\xE7\xBB\xB0") == u"门店电话");
}

TEST_CASE("a trail byte that looks like an ASCII letter stays part of its character") {
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

TEST_CASE("characters the code page cannot hold are refused, not replaced") {
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
