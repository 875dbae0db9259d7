// A tiny check harness for the Windows test programs: no GoogleTest in the
// cross build. Each CHECK prints its failures; main() returns their count.
#pragma once

#include "exit_file.h"

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace check {

struct Case {
    const char* name;
    std::function<void()> body;
};

inline std::vector<Case>& cases() {
    static std::vector<Case> all;
    return all;
}

inline int& failures() {
    static int count = 0;
    return count;
}

struct Register {
    Register(const char* name, std::function<void()> body) {
        cases().push_back({name, std::move(body)});
    }
};

// Bytes made printable: ASCII as is, everything else as \xNN, line breaks spelt out.
inline std::string shown(const std::string& bytes) {
    std::string out;
    for (unsigned char c : bytes) {
        if (c == '\r') {
            out += "\\r";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\\') {
            out += "\\\\";
        } else if (c >= 0x20 && c < 0x7f) {
            out += char(c);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        }
    }
    return out;
}

inline void fail(const char* file, int line, const std::string& what) {
    ++failures();
    std::printf("  FAILED %s:%d: %s\n", file, line, what.c_str());
}

inline int runAll() {
    int failedCases = 0;
    for (const Case& c : cases()) {
        int before = failures();
        c.body();
        bool ok = failures() == before;
        failedCases += ok ? 0 : 1;
        std::printf("%s %s\n", ok ? "[ OK ]" : "[FAIL]", c.name);
    }
    std::printf("%zu cases, %d failed\n", cases().size(), failedCases);
    std::fflush(stdout);
    return recordExit(failedCases == 0 ? 0 : 1);
}

} // namespace check

#define CHECK_CAT2(a, b) a##b
#define CHECK_CAT(a, b) CHECK_CAT2(a, b)
#define TEST_CASE(name)                                                                            \
    static void CHECK_CAT(check_case_, __LINE__)();                                                \
    static check::Register CHECK_CAT(check_reg_, __LINE__)(name,                                   \
                                                           CHECK_CAT(check_case_, __LINE__));      \
    static void CHECK_CAT(check_case_, __LINE__)()

#define CHECK(cond)                                                                                \
    do {                                                                                           \
        if (!(cond)) {                                                                             \
            check::fail(__FILE__, __LINE__, #cond);                                                \
        }                                                                                          \
    } while (0)

// Compares two byte strings and shows both when they differ.
#define CHECK_BYTES(actual, expected)                                                              \
    do {                                                                                           \
        std::string a_ = (actual), e_ = (expected);                                                \
        if (a_ != e_) {                                                                            \
            check::fail(__FILE__, __LINE__,                                                        \
                        std::string(#actual) + " is \"" + check::shown(a_) + "\", expected \"" +   \
                            check::shown(e_) + "\"");                                              \
        }                                                                                          \
    } while (0)
