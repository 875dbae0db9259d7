// The update command's shell call and its failure rule.
#include "check.h"

#include "platform_open.h"

#include <windows.h>

TEST_CASE("shell results of 32 and below are failures") {
    CHECK(!platform::shellExecuteSucceeded(0));  // out of memory
    CHECK(!platform::shellExecuteSucceeded(2));  // file not found
    CHECK(!platform::shellExecuteSucceeded(31)); // no association
    CHECK(!platform::shellExecuteSucceeded(32));
    CHECK(platform::shellExecuteSucceeded(33));
    CHECK(platform::shellExecuteSucceeded(42));
    CHECK(!platform::shellExecuteSucceeded(-1));
}

TEST_CASE("an address the shell cannot open is reported as a failure") {
    CHECK(!platform::openInBrowser(u"C:\\no such folder\\no such file.htm"));
    CHECK(!platform::openInBrowser(u""));
}

TEST_CASE("an address the code page cannot hold is refused before the shell sees it") {
    CHECK(!platform::openInBrowser(u"http://example.invalid/\U0001F600"));
}

TEST_CASE("a target the shell can start is reported as a success") {
    // A program of the Wine prefix that ends by itself at once; the shell's
    // result for it comes from the same call the update command makes.
    char system[MAX_PATH] = {};
    GetSystemDirectoryA(system, MAX_PATH);
    std::string target = std::string(system) + "\\hostname.exe";
    CHECK(GetFileAttributesA(target.c_str()) != INVALID_FILE_ATTRIBUTES);
    std::u16string wide(target.begin(), target.end());
    CHECK(platform::openInBrowser(wide));
}
