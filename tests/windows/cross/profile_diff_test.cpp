// Our byte-level profile reader and writer against the system's own profile
// functions, on the same starting files and the same sequences of calls.
//
// Two things are compared after every step:
//  - the system reading the very bytes our writer produced must find what our
//    reader finds, for every name the case touches (found or not);
//  - our file and the system's file, each written by its own writer, must hold
//    the same values.
// The file bytes themselves may differ only where the case says so and why.
#include "check.h"

#include "ansi.h"
#include "profile.h"

#include <windows.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <utility>

namespace {

using Value = std::optional<std::string>;

struct Step {
    bool write;
    std::string section, key, value;
};

Step read(std::string section, std::string key) {
    return {false, std::move(section), std::move(key), {}};
}
Step write(std::string section, std::string key, std::string value) {
    return {true, std::move(section), std::move(key), std::move(value)};
}

struct Case {
    const char* name;
    std::string start;
    std::vector<Step> steps;
    // Nothing when both writers must leave the same bytes; otherwise why ours differ.
    const char* bytesDiffer;
    // Names read in addition to those the steps touch.
    std::vector<std::pair<std::string, std::string>> extra = {};
    // Nothing when both writers' files must read the same; otherwise why they may not.
    const char* valuesDiffer = nullptr;
};

std::string folder() {
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    std::string dir = std::string(temp) + "tide_profile_diff";
    CreateDirectoryA(dir.c_str(), nullptr);
    return dir;
}

void save(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

std::string load(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Every case runs three times: on the file as the code page 936 bytes it is
// given in, and on the same text kept as UTF-16 with a byte-order mark, little
// and big endian, which the system reads and writes through its wide profile
// functions.
bool wide = false;
bool big = false;

const std::string utf16Mark = "\xFF\xFE";
const std::string utf16BigMark = "\xFE\xFF";

std::u16string wideOf(const std::string& bytes) {
    return ansi::decode(bytes);
}

std::string bytesOf(const std::u16string& text) {
    return ansi::encode(text).value_or("(not in code page 936)");
}

std::u16string unitsOf(const std::string& file) {
    std::u16string units((file.size() - utf16Mark.size()) / 2, u'\0');
    for (size_t i = 0; i < units.size(); ++i) {
        const unsigned char first = file[2 + 2 * i], second = file[3 + 2 * i];
        units[i] = big ? char16_t(first << 8 | second) : char16_t(first | second << 8);
    }
    return units;
}

std::string fileOf(const std::u16string& units) {
    std::string file = big ? utf16BigMark : utf16Mark;
    for (char16_t u : units) {
        const char low = char(u & 0xFF), high = char(u >> 8);
        file.push_back(big ? high : low);
        file.push_back(big ? low : high);
    }
    return file;
}

// The starting file in the form of this run.
std::string startOf(const std::string& bytes) {
    return wide ? fileOf(wideOf(bytes)) : bytes;
}

const wchar_t* w(const std::u16string& text) {
    return reinterpret_cast<const wchar_t*>(text.c_str());
}

// The system's reading; a key it does not find gives back the default, which
// no case stores.
Value systemRead(const std::string& path, const std::string& section, const std::string& key) {
    static const char absent[] = "(absent)";
    std::string buffer(1 << 14, '\0');
    if (wide) {
        std::u16string units(1 << 14, u'\0');
        DWORD count = GetPrivateProfileStringW(w(wideOf(section)), w(wideOf(key)), L"(absent)",
                                               reinterpret_cast<wchar_t*>(units.data()),
                                               DWORD(units.size()), w(wideOf(path)));
        units.resize(count);
        buffer = bytesOf(units);
    } else {
        DWORD count = GetPrivateProfileStringA(section.c_str(), key.c_str(), absent, buffer.data(),
                                               DWORD(buffer.size()), path.c_str());
        buffer.resize(count);
    }
    if (buffer == absent) {
        return std::nullopt;
    }
    return buffer;
}

bool systemWrite(const std::string& path, const std::string& section, const std::string& key,
                 const std::string& value) {
    if (wide) {
        return WritePrivateProfileStringW(w(wideOf(section)), w(wideOf(key)), w(wideOf(value)),
                                          w(wideOf(path)));
    }
    return WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), path.c_str());
}

Value ourRead(const std::string& file, const std::string& section, const std::string& key) {
    if (wide) {
        auto value = profile::lookup<char16_t>(unitsOf(file), wideOf(section), wideOf(key),
                                               profile::Units::Single);
        return value ? Value(bytesOf(*value)) : std::nullopt;
    }
    return profile::lookup<char>(file, section, key, profile::Units::DoubleByte);
}

std::string ourWrite(const std::string& file, const std::string& section, const std::string& key,
                     const std::string& value) {
    if (wide) {
        return fileOf(profile::withValue<char16_t>(unitsOf(file), wideOf(section), wideOf(key),
                                                   wideOf(value), profile::Units::Single));
    }
    return profile::withValue<char>(file, section, key, value, profile::Units::DoubleByte);
}

std::string shown(const Value& v) {
    return v ? "\"" + check::shown(*v) + "\"" : std::string("(absent)");
}

int fileNumber = 0;

// Whether the system reads `ours` (our writer's bytes) as our reader does.
void compareReaders(const Case& c, const std::string& dir, const std::string& ours,
                    const std::set<std::pair<std::string, std::string>>& names,
                    const std::string& when) {
    std::string path = dir + "\\ours" + std::to_string(++fileNumber) + ".ini";
    save(path, ours);
    // Compared as text: where the file holds bytes the code page does not
    // define, ours keeps them and the system gives its "?" for them.
    auto text = [](const Value& v) -> std::optional<std::u16string> {
        return v ? std::optional<std::u16string>(wideOf(*v)) : std::nullopt;
    };
    for (const auto& [section, key] : names) {
        Value mine = ourRead(ours, section, key);
        Value theirs = systemRead(path, section, key);
        if (text(mine) != text(theirs)) {
            check::fail(__FILE__, __LINE__,
                        std::string(c.name) + ", " + when + ": [" + check::shown(section) + "] " +
                            check::shown(key) + ": ours " + shown(mine) + ", system " +
                            shown(theirs) + " in \"" + check::shown(ours) + "\"");
        }
    }
    DeleteFileA(path.c_str());
}

void run(const Case& c) {
    const std::string dir = folder();
    const std::string systemPath = dir + "\\system" + std::to_string(++fileNumber) + ".ini";
    std::string ours = startOf(c.start);
    save(systemPath, ours);

    std::set<std::pair<std::string, std::string>> names(c.extra.begin(), c.extra.end());
    for (const Step& s : c.steps) {
        names.insert({s.section, s.key});
    }

    compareReaders(c, dir, ours, names, "starting file");
    int number = 0;
    for (const Step& s : c.steps) {
        std::string when = "after step " + std::to_string(++number);
        if (s.write) {
            ours = ourWrite(ours, s.section, s.key, s.value);
            CHECK(systemWrite(systemPath, s.section, s.key, s.value));
        }
        compareReaders(c, dir, ours, names, when);
        // What our writer stored, the system reads back as it was given.
        if (s.write && ourRead(ours, s.section, s.key) != Value(s.value)) {
            check::fail(__FILE__, __LINE__,
                        std::string(c.name) + ", " + when + ": wrote \"" + check::shown(s.value) +
                            "\", reads back " + shown(ourRead(ours, s.section, s.key)));
        }
        // Each writer's file, read by the system, holds the same values.
        std::string path = dir + "\\ours" + std::to_string(++fileNumber) + ".ini";
        save(path, ours);
        for (const auto& [section, key] : names) {
            Value mine = systemRead(path, section, key);
            Value theirs = systemRead(systemPath, section, key);
            if (mine == theirs) {
                continue;
            }
            std::string what = std::string(c.name) + ", " + when + ": [" + check::shown(section) +
                               "] " + check::shown(key) + ": our file " + shown(mine) +
                               ", system's file " + shown(theirs);
            if (c.valuesDiffer) {
                std::printf("  allowed: %s (%s)\n", what.c_str(), c.valuesDiffer);
            } else {
                check::fail(__FILE__, __LINE__, what);
            }
        }
        DeleteFileA(path.c_str());
    }

    std::string theirs = load(systemPath);
    DeleteFileA(systemPath.c_str());
    if (!c.bytesDiffer && ours != theirs) {
        check::fail(__FILE__, __LINE__,
                    std::string(c.name) + ": files differ: ours \"" + check::shown(ours) +
                        "\", system's \"" + check::shown(theirs) + "\"");
    } else if (c.bytesDiffer && ours == theirs) {
        check::fail(__FILE__, __LINE__,
                    std::string(c.name) +
                        ": files are the same, yet a difference is declared: " + c.bytesDiffer);
    } else if (c.bytesDiffer) {
        std::printf("  %s: allowed difference: %s\n    ours:     \"%s\"\n    system's: \"%s\"\n",
                    c.name, c.bytesDiffer, check::shown(ours).c_str(),
                    check::shown(theirs).c_str());
    }
}

const char* const keepsLines =
    "the system rewrites every line it loaded in its own form; ours changes only the bytes "
    "of the value it sets, so the owner's comments, spacing and line breaks stay as typed";

std::vector<Case> cases() {
    std::string longValue(1000, 'x');
    std::string longChinese;
    for (int i = 0; i < 300; ++i) {
        longChinese += "\xD6\xD0"; // 中
    }
    return {
        {"plain file written by the editor",
         "[Sysinfo]\r\nTitle=\xC4\xB3\xC4\xB3\xB5\xE7\xC4\xD4\r\nService TEL=0571-1234\r\n",
         {read("Sysinfo", "Title"), read("Sysinfo", "Service TEL"), read("Sysinfo", "Add"),
          read("Display", "Show"), write("Sysinfo", "Title", "New title"),
          write("Sysinfo", "Add", "\xBA\xBC\xD6\xDD"), write("Display", "Show", "1"),
          write("Sysinfo", "Close", "End"), write("Sysinfo", "Close", "Start")},
         nullptr},
        {"empty file",
         "",
         {read("Sysinfo", "Title"), write("Sysinfo", "Title", ""), write("Display", "Title", "0"),
          write("Sysinfo", "Add", "x")},
         nullptr},
        {"comments and blank lines",
         "; settings of the shop\r\n\r\n[Sysinfo]\r\n; Title=old\r\nTitle=A\r\n\r\n# note\r\n"
         "\r\n[Display]\r\nTitle=1\r\n",
         {read("Sysinfo", "Title"), write("Sysinfo", "Title", "B"), write("Sysinfo", "Add", "new"),
          write("Display", "Add", "0")},
         keepsLines,
         {{"Sysinfo", "; Title"}, {"Sysinfo", "Title"}}},
        {"blanks around names and values",
         "[ Sysinfo ]\r\n  Title  =  \xD6\xB5 with blanks  \r\n\tAdd\t=\tX\t\r\nInfo =\r\n",
         {read("Sysinfo", "Title"), read("Sysinfo", "Add"), read("Sysinfo", "Info"),
          write("Sysinfo", "Title", "T"), write("Sysinfo", "Info", "I")},
         keepsLines},
        {"duplicate sections",
         "[Sysinfo]\r\nTitle=first\r\n[Display]\r\nShow=1\r\n[Sysinfo]\r\nTitle=second\r\n"
         "Add=only in the second\r\n",
         {read("Sysinfo", "Title"), read("Sysinfo", "Add"), write("Sysinfo", "Title", "third")},
         nullptr},
        {"duplicate keys",
         "[Sysinfo]\r\nTitle=one\r\nTitle=two\r\nAdd=x\r\n",
         {read("Sysinfo", "Title"), write("Sysinfo", "Title", "three"),
          write("Sysinfo", "New", "n")},
         nullptr},
        {"quotes",
         "[Sysinfo]\r\nTitle=\"quoted\"\r\nAdd='single'\r\nInfo=\"unbalanced\r\n"
         "Close=\"a\"b\"\r\nlabel5=\" x \"\r\nlabel6=\"\"\r\nlabel7=\"mixed'\r\n",
         {read("Sysinfo", "Title"), read("Sysinfo", "Add"), read("Sysinfo", "Info"),
          read("Sysinfo", "Close"), read("Sysinfo", "label5"), read("Sysinfo", "label6"),
          read("Sysinfo", "label7"), write("Sysinfo", "Title", "plain")},
         nullptr},
        {"LF line endings",
         "[Sysinfo]\nTitle=lf\nAdd=x\n[Display]\nShow=1\n",
         {read("Sysinfo", "Title"), write("Sysinfo", "Title", "y"), write("Sysinfo", "New", "n"),
          write("Config", "label5", "z")},
         "the system writes CRLF after every line; ours keeps the file's own LF for the lines "
         "it adds, so the file keeps one kind of line break"},
        {"no final line break",
         "[Sysinfo]\r\nTitle=last",
         {read("Sysinfo", "Title"), write("Sysinfo", "Title", "changed"),
          write("Sysinfo", "Add", "a"), write("Display", "Show", "1")},
         "the system ends the file with a line break; ours leaves a file without a final line "
         "break without one"},
        {"long values",
         "[Sysinfo]\r\nTitle=" + longValue + "\r\nAdd=" + longChinese + "\r\n",
         {read("Sysinfo", "Title"), read("Sysinfo", "Add"),
          write("Sysinfo", "Title", longValue + longValue), write("Sysinfo", "Info", longChinese)},
         nullptr},
        {"double-byte names and values",
         "[\xCF\xB5\xCD\xB3]\r\n\xB1\xEA\xCC\xE2=\xD6\xD0\xCE\xC4\r\n\x81\x41=upper\r\n",
         {read("\xCF\xB5\xCD\xB3", "\xB1\xEA\xCC\xE2"), read("\xCF\xB5\xCD\xB3", "\x81\x41"),
          read("\xCF\xB5\xCD\xB3", "\x81\x61"), write("\xCF\xB5\xCD\xB3", "\x81\x61", "lower"),
          write("\xCF\xB5\xCD\xB3", "\xB1\xEA\xCC\xE2", "\xD0\xC2")},
         nullptr},
        {"letter case of names",
         "[SYSINFO]\r\nTITLE=upper\r\n[config]\r\nLabel5=l\r\n",
         {read("Sysinfo", "Title"), read("sysinfo", "title"), read("Config", "label5"),
          write("Sysinfo", "Title", "mixed"), write("CONFIG", "LABEL5", "L"),
          write("Config", "label6", "m")},
         nullptr},
        {"keys before any section",
         "Title=orphan\r\n[Sysinfo]\r\nAdd=x\r\n",
         {read("Sysinfo", "Title"), read("Sysinfo", "Add"), write("Sysinfo", "Title", "t")},
         nullptr},
        {"value holding '=' and ';'",
         "[Sysinfo]\r\nAdd=a=b\r\nTitle=x ; not a comment\r\n",
         {read("Sysinfo", "Add"), read("Sysinfo", "Title"), write("Sysinfo", "Add", "c=d")},
         nullptr},
        {"a new key goes after the section's last line, not after its blank lines",
         "[Sysinfo]\r\nTitle=t\r\n\r\n\r\n[Display]\r\nShow=1\r\n",
         {write("Sysinfo", "Add", "a"), read("Display", "Show")},
         keepsLines},
        {"header with text after it",
         "[Sysinfo] ; the shop\r\nTitle=t\r\n",
         {read("Sysinfo", "Title"), write("Sysinfo", "Title", "u")},
         keepsLines},
        {"lone CR line endings",
         "[Sysinfo]\rTitle=cr\rAdd=x\r",
         {read("Sysinfo", "Title"), read("Sysinfo", "Add"), write("Sysinfo", "Title", "y"),
          write("Sysinfo", "New", "n")},
         "the system writes CRLF after every line; ours keeps the file's own lone CR"},
        {"line without an equals sign",
         "[Sysinfo]\r\nTitle\r\nAdd=1\r\n",
         {read("Sysinfo", "Title"), read("Sysinfo", "Add"), write("Sysinfo", "Title", "t")},
         nullptr},
        {"keys before any section, read under the empty name",
         "Title=orphan\r\n[Sysinfo]\r\nAdd=x\r\n",
         {read("", "Title"), read("", "Add")},
         nullptr},
        {"header without its closing bracket",
         "[Sysinfo\r\nTitle=t\r\n[Display]\r\nShow=1\r\n",
         {read("Sysinfo", "Title"), read("Display", "Show"), write("Sysinfo", "Title", "u")},
         nullptr},
        {"bytes where code page 936 and GB18030 part",
         "[Sysinfo]\r\nTitle=\x80\r\nAdd=\xA2\xE3\xA8\xBF\r\n",
         {read("Sysinfo", "Title"), read("Sysinfo", "Add"), write("Sysinfo", "Info", "\x80"),
          write("Sysinfo", "Title", "\xA2\xE3\x80")},
         nullptr},
        {"a file cut after a lead byte",
         "[Sysinfo]\r\nAdd=a\r\nz=\x81",
         {read("Sysinfo", "z"), read("Sysinfo", "Add")},
         nullptr},
        {"a lead byte takes the line break after it",
         "[Sysinfo]\r\nTitle=\x81\nAdd=a\r\nInfo=i\r\n",
         {read("Sysinfo", "Title"), read("Sysinfo", "Add"), read("Sysinfo", "Info")},
         nullptr},
        {"a trail byte that is a closing bracket",
         "[Sysinfo]\r\n[\xB0]\r\nTitle=t\r\n[\xB0]]\r\nAdd=a\r\n",
         {read("Sysinfo", "Title"), read("\xB0]", "Add"), write("\xB0]", "Add", "b"),
          write("Sysinfo", "Title", "u")},
         nullptr},
        {"values with blanks or quotes of their own",
         "[Sysinfo]\r\nTitle=t\r\n",
         {write("Sysinfo", "Title", "  two blanks"), write("Sysinfo", "Add", "\"quoted\""),
          write("Sysinfo", "Info", "trailing "), write("Sysinfo", "label5", "'")},
         "ours puts in quotes a value the reading would trim or unquote",
         {},
         "the system's writer stores such a value bare, and its own reader then drops the "
         "blanks and quotes the owner typed; ours quotes it, and the system reads our file "
         "back exactly as typed (checked above)"},
    };
}

} // namespace

// One reported case per starting file.
const bool registered = [] {
    for (const Case& c : cases()) {
        check::cases().push_back({c.name, [c] {
                                      wide = false;
                                      run(c);
                                  }});
    }
    static std::vector<std::string> wideNames;
    for (const char* form : {" (UTF-16 file)", " (UTF-16 big-endian file)"}) {
        for (const Case& c : cases()) {
            wideNames.push_back(std::string(c.name) + form);
        }
    }
    size_t i = 0;
    for (bool bigEndian : {false, true}) {
        for (const Case& c : cases()) {
            check::cases().push_back({wideNames[i++].c_str(), [c, bigEndian] {
                                          wide = true;
                                          big = bigEndian;
                                          run(c);
                                      }});
        }
    }
    return true;
}();
