// The profile format on bytes: what a read finds, and what a write changes.
#include "profile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

using profile::Units;

namespace {

std::optional<std::string> find(const std::string& file, const std::string& section,
                                const std::string& key, Units units = Units::Single) {
    return profile::lookup<char>(file, section, key, units);
}

std::string set(const std::string& file, const std::string& section, const std::string& key,
                const std::string& value, Units units = Units::Single) {
    return profile::withValue<char>(file, section, key, value, units);
}

std::string upper(std::string s) {
    for (char& c : s) {
        c = (c >= 'a' && c <= 'z') ? char(c - 32) : c;
    }
    return s;
}

std::string trim(const std::string& s) {
    const size_t first = s.find_first_not_of(" \t");
    return first == std::string::npos ? std::string()
                                      : s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

} // namespace

TEST(ProfileRead, NamesMatchWithoutLetterCaseAndBlanksAroundAreTrimmed) {
    const std::string file = "  [ SysInfo ]  \r\n\t Service TEL \t=  400 \t\r\n";
    EXPECT_EQ(find(file, "sysinfo", "service tel"), "400");
    EXPECT_EQ(find(file, "SYSINFO", "SERVICE TEL"), "400");
    EXPECT_EQ(find(file, "Sysinfo", "Service"), std::nullopt);
    EXPECT_EQ(find(file, "Display", "Service TEL"), std::nullopt);
}

TEST(ProfileRead, OnePairOfMatchingQuotesIsRemoved) {
    const std::string file = "[s]\na=\" x \"\nb='y'\nc=\"z'\nd=\"\"w\"\"\ne=\"\nf=\"\"\n";
    EXPECT_EQ(find(file, "s", "a"), " x ");
    EXPECT_EQ(find(file, "s", "b"), "y");
    EXPECT_EQ(find(file, "s", "c"), "\"z'");
    EXPECT_EQ(find(file, "s", "d"), "\"w\"");
    EXPECT_EQ(find(file, "s", "e"), "\"");
    EXPECT_EQ(find(file, "s", "f"), "");
}

TEST(ProfileRead, EveryKindOfLineEndingIsALineEnd) {
    for (const std::string brk : {"\r\n", "\n", "\r"}) {
        const std::string file = "[a]" + brk + "x=1" + brk + "[b]" + brk + "x=2" + brk + "y=3";
        EXPECT_EQ(find(file, "a", "x"), "1") << int(brk.size());
        EXPECT_EQ(find(file, "b", "x"), "2");
        EXPECT_EQ(find(file, "b", "y"), "3") << "last line without a line break";
    }
}

TEST(ProfileRead, KeyIsWhatStandsBeforeTheFirstEquals) {
    const std::string file = "[s]\nurl=a=b\n;comment\nnot a key\n;x=y\n";
    EXPECT_EQ(find(file, "s", "url"), "a=b");
    EXPECT_EQ(find(file, "s", "not a key"), std::nullopt);
    EXPECT_EQ(find(file, "s", ";comment"), std::nullopt);
    EXPECT_EQ(find(file, "s", ";x"), "y") << "a line with '=' is a key, whatever it starts with";
}

TEST(ProfileRead, FirstOfDuplicateSectionsAndKeysCounts) {
    const std::string file = "[s]\nk=first\nk=second\n[other]\n[S]\nk=third\nonly=later\n";
    EXPECT_EQ(find(file, "s", "k"), "first");
    EXPECT_EQ(find(file, "s", "only"), std::nullopt);
}

TEST(ProfileRead, LinesBeforeTheFirstHeaderFormTheNamelessSection) {
    const std::string file = "top=1\n[s]\nk=2\n";
    EXPECT_EQ(find(file, "", "top"), "1");
    EXPECT_EQ(find(file, "s", "top"), std::nullopt);
    EXPECT_EQ(find(file, "", "k"), std::nullopt);
}

TEST(ProfileRead, HeaderEndsAtItsLastBracketAndNeedsOne) {
    EXPECT_EQ(find("[a]b]\nk=1\n", "a]b", "k"), "1");
    EXPECT_EQ(find("[a\nk=1\n", "a", "k"), std::nullopt);
    EXPECT_EQ(find("[a\nk=1\n", "", "k"), "1") << "a broken header opens no section";
}

TEST(ProfileRead, TrailBytesOfDoubleByteCharactersAreNotFoldedAsLetters) {
    // 0x81 0x41 and 0x81 0x61 are two different characters whose trail bytes look like 'A' and 'a'.
    const std::string file = "[\x81\x41]\nk=upper\n[\x81\x61]\nk=lower\n";
    EXPECT_EQ(find(file, "\x81\x61", "k", Units::DoubleByte), "lower");
    EXPECT_EQ(find(file, "\x81\x41", "k", Units::DoubleByte), "upper");
    // A letter after a double-byte character still folds.
    EXPECT_EQ(find("[\xD6\xD0X]\nk=1\n", "\xD6\xD0x", "k", Units::DoubleByte), "1");
    // Brackets and line breaks are searched on characters: a lead byte takes any next byte.
    EXPECT_EQ(find("[s]\n[\x81]\nk=1\n", "s", "k", Units::DoubleByte), "1");
    EXPECT_EQ(find("[s]\nk=\x81\nm=1\n", "s", "m", Units::DoubleByte), std::nullopt);
    EXPECT_EQ(find("[s]\nk=\x81\nm=1\n", "s", "k", Units::DoubleByte), "\x81\nm=1");
    // A file cut after a lead byte: a '?' after it keeps the line that is added on its own.
    EXPECT_EQ(set("k=v\x81", "", "n", "1", Units::DoubleByte), "k=v\x81?\r\nn=1");
    EXPECT_FALSE(profile::storable<char>("s", "k", "v\x81", Units::DoubleByte));
}

TEST(ProfileWrite, ReplacesTheValueWhereItStandsAndKeepsEveryOtherByte) {
    const std::string file =
        "; shop notice\r\n[SysInfo]\r\n Title = old \r\n\r\nAdd=x\r\n[Other]\r\nk=v";
    EXPECT_EQ(set(file, "sysinfo", "TITLE", "new"),
              "; shop notice\r\n[SysInfo]\r\n Title = new \r\n\r\nAdd=x\r\n[Other]\r\nk=v");
    EXPECT_EQ(set(file, "Other", "k", ""),
              "; shop notice\r\n[SysInfo]\r\n Title = old \r\n\r\nAdd=x\r\n[Other]\r\nk=");
    EXPECT_EQ(set("[s]\nk=\n", "s", "k", "v"), "[s]\nk=v\n");
}

TEST(ProfileWrite, ALineHoldingJustTheKeyGetsItsValueInPlace) {
    // Windows takes such a line for the key without a value: a second line
    // added further down would never be read there.
    EXPECT_EQ(set("[s]\nTitle\nAdd=1\n", "s", "title", "t"), "[s]\nTitle=t\nAdd=1\n");
    EXPECT_EQ(set("[s]\r\n  k  \r\n", "s", "k", " v"), "[s]\r\n  k=\" v\"  \r\n");
    EXPECT_EQ(find("[s]\nk\nk=later\n", "s", "k"), std::nullopt)
        << "the bare line is the first of the duplicates";
}

TEST(ProfileWrite, OnlyTheFirstDuplicateIsReplaced) {
    EXPECT_EQ(set("[s]\nk=1\nk=2\n[s]\nk=3\n", "S", "K", "9"), "[s]\nk=9\nk=2\n[s]\nk=3\n");
}

TEST(ProfileWrite, NewKeyGoesAfterTheLastNonBlankLineOfItsSection) {
    EXPECT_EQ(set("[a]\nx=1\n\n\n[b]\ny=2\n", "a", "z", "3"), "[a]\nx=1\nz=3\n\n\n[b]\ny=2\n");
    EXPECT_EQ(set("[a]\n\n[b]\n", "a", "z", "3"), "[a]\nz=3\n\n[b]\n");
    EXPECT_EQ(set("[a]\n;note\n\n", "a", "z", "3"), "[a]\n;note\nz=3\n\n");
    EXPECT_EQ(set("top=1\n\n[b]\n", "", "z", "3"), "top=1\nz=3\n\n[b]\n");
}

TEST(ProfileWrite, NewSectionGoesAtTheEndWithTheFilesOwnLineBreak) {
    EXPECT_EQ(set("", "Sysinfo", "Title", "t"), "[Sysinfo]\r\nTitle=t\r\n");
    EXPECT_EQ(set("[a]\nx=1\n", "b", "y", "2"), "[a]\nx=1\n[b]\ny=2\n");
    EXPECT_EQ(set("[a]\rx=1\r\r", "b", "y", "2"), "[a]\rx=1\r\r[b]\ry=2\r");
    EXPECT_EQ(set("[a]\r\nx=1\n", "b", "y", "2"), "[a]\r\nx=1\n[b]\r\ny=2\r\n")
        << "the first line break found is the file's own";
}

TEST(ProfileWrite, AFileWithoutFinalLineBreakKeepsLackingOne) {
    EXPECT_EQ(set("[a]\nx=1", "a", "y", "2"), "[a]\nx=1\ny=2");
    EXPECT_EQ(set("[a]\nx=1", "b", "y", "2"), "[a]\nx=1\n[b]\ny=2");
    EXPECT_EQ(set("[a]", "a", "y", "2"), "[a]\r\ny=2");
}

TEST(ProfileWrite, ValuesTheReadWouldAlterAreQuotedAndReadBackExactly) {
    for (const std::string value : {" lead", "trail ", "\t", "\"q\"", "'q'", "\"\"", "'", "\"open",
                                    "a = b", "", "中文 ", "x\"y\"z"}) {
        const std::string file = set("[s]\nk=old\n", "s", "k", value);
        EXPECT_EQ(find(file, "s", "k"), value) << file;
        const std::string added = set("[s]\n", "s", "new", value);
        EXPECT_EQ(find(added, "s", "new"), value) << added;
    }
    EXPECT_EQ(set("", "s", "k", " x"), "[s]\r\nk=\" x\"\r\n");
    EXPECT_EQ(set("", "s", "k", "plain text"), "[s]\r\nk=plain text\r\n");
}

TEST(ProfileWrite, BytesThatAreNotTextSurviveInLinesNotReplaced) {
    const std::string file = std::string("[s]\n\xFF\xFE\x80junk\nk=1\nz=\x81\n", 20);
    const std::string out = set(file, "s", "k", "2");
    EXPECT_EQ(out, std::string("[s]\n\xFF\xFE\x80junk\nk=2\nz=\x81\n", 20));
}

TEST(ProfileWrite, LineBreaksNulAndEqualsInKeysAreNotStorable) {
    using sv = std::string_view;
    EXPECT_TRUE(profile::storable<char>("s", "k", "any text = fine"));
    EXPECT_FALSE(profile::storable<char>("s", "k", "a\r\n[evil]\r\nk=v"));
    EXPECT_FALSE(profile::storable<char>("s", "k", "a\nb"));
    EXPECT_FALSE(profile::storable<char>("s", "k", sv("a\0b", 3)));
    EXPECT_FALSE(profile::storable<char>("s\r", "k", "v"));
    EXPECT_FALSE(profile::storable<char>("s", "k\n", "v"));
    EXPECT_FALSE(profile::storable<char>("s", "a=b", "v"));
    EXPECT_FALSE(profile::storable<char>("s", "[k]", "v"));
    EXPECT_FALSE(profile::storable<char>(" s", "k", "v"));
    EXPECT_FALSE(profile::storable<char>("s", "k ", "v"));
    EXPECT_TRUE(profile::storable<char>("s", "k", " v "));
}

TEST(ProfileWrite, Utf16UnitsFollowTheSameRules) {
    std::u16string file = u"[Sysinfo]\r\nTitle=旧\r\n";
    file = profile::withValue<char16_t>(file, u"SYSINFO", u"title", u"新标题", Units::Single);
    file = profile::withValue<char16_t>(file, u"Config", u"label5", u"服务热线", Units::Single);
    EXPECT_EQ(file, u"[Sysinfo]\r\nTitle=新标题\r\n[Config]\r\nlabel5=服务热线\r\n");
    EXPECT_EQ(profile::lookup<char16_t>(file, u"config", u"LABEL5", Units::Single), u"服务热线");
}

// The table a read builds once answers every look-up as the scan of the whole
// file does: on the shipped file and on the files of the rules above, for
// every name the file holds, in other letter cases, and names it lacks.
TEST(ProfileTable, AnswersEveryLookupAsTheScanDoes) {
    std::ifstream shipped(SHIPPED_SYSINFO, std::ios::binary);
    ASSERT_TRUE(shipped) << SHIPPED_SYSINFO;
    const std::string files[] = {
        std::string(std::istreambuf_iterator<char>(shipped), {}),
        "  [ SysInfo ]  \r\n\t Service TEL \t=  400 \t\r\n",
        "[s]\na=\" x \"\nb='y'\nc=\"z'\nd=\"\"w\"\"\ne=\"\nf=\"\"\n",
        "[a]\rx=1\r[b]\r\nx=2\ny=3",
        "[s]\nurl=a=b\n;comment\nnot a key\n;x=y\n=empty name\n",
        "[s]\nk=first\nk=second\n[other]\n[S]\nk=third\nonly=later\n[]\nk=none\n",
        "top=1\n[s]\nk=2\n[a]b]\nk=3\n[a\nk=4\nk\nk=5\n",
        "[\x81\x41]\nk=upper\n[\x81\x61]\nk=lower\n[\xD6\xD0X]\nk=1\n[s]\nk=\x81\nm=1\n[\x81]\nk=2",
    };
    for (const std::string& file : files) {
        std::vector<std::string> names = {"", "S", "absent", "\x81\x61", "\xD6\xD0x", "K"};
        for (size_t at = 0; at < file.size();) {
            const size_t end = std::min(file.find_first_of("\r\n", at), file.size());
            const std::string line = file.substr(at, end - at);
            names.push_back(line.substr(0, line.find('=')));
            names.push_back(line.substr(line.find('[') + 1, line.rfind(']') - line.find('[') - 1));
            at = end + 1;
        }
        for (const Units units : {Units::Single, Units::DoubleByte}) {
            // Values set together, on keys the file holds only and on keys
            // it lacks too, some kept where stored: as set one after another.
            for (const bool onlyHeld : {true, false}) {
                std::vector<profile::Setting<char>> together;
                std::string inTurn = file;
                for (size_t i = 0; i + 1 < names.size(); ++i) {
                    const std::string &section = names[i], &key = names[i + 1];
                    const bool keep = i % 3 == 0;
                    if (!profile::storable<char>(section, key, "v", units) ||
                        (onlyHeld && !find(file, section, key, units))) {
                        continue;
                    }
                    together.push_back({section, key, "v", keep});
                    const auto stored = find(inTurn, section, key, units);
                    if (!keep || !stored || stored->empty()) {
                        inTurn = set(inTurn, section, key, "v", units);
                    }
                }
                EXPECT_EQ(profile::withValues<char>(file, together, units), inTurn) << file;
            }
            const profile::Table<char> table(file, units);
            for (const std::string& section : names) {
                for (const std::string& key : names) {
                    for (const std::string& k : {key, upper(key), trim(key)}) {
                        EXPECT_EQ(table.lookup(upper(section), k),
                                  find(file, upper(section), k, units))
                            << file << " [" << section << "] " << k;
                        EXPECT_EQ(table.lookup(trim(section), k),
                                  find(file, trim(section), k, units));
                    }
                }
            }
        }
    }
    const std::u16string wide = u"[Sysinfo]\r\nTitle=新标题\r\n[config]\r\nlabel5=服务\r\n";
    const profile::Table<char16_t> table(wide, Units::Single);
    EXPECT_EQ(table.lookup(u"CONFIG", u"Label5"), u"服务");
    EXPECT_EQ(table.lookup(u"Sysinfo", u"Add"), std::nullopt);
}
