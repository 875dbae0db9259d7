// The profile (INI) format on raw code units, free of Qt so that the Windows
// build can compare it with the system's own profile functions.
//
// A file is a sequence of lines ending in CRLF, LF or a lone CR. A line whose
// trimmed text starts with '[' and holds a ']' opens a section named by what
// stands between the '[' and the last ']'. Any other line with an '=' holds a
// key (before the first '=') and its value (after it). Lines before the first
// header belong to the section named by the empty text. Names match without
// regard to ASCII letter case; the first of duplicate sections, and the first
// of duplicate keys in it, is the one that counts.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace profile {

// How 8-bit units group into characters, so that a trail byte of a
// double-byte character is never taken for a letter, a bracket or a line break.
enum class Units {
    Single,     // ASCII-compatible with no trail bytes below 0x80 (UTF-8, Latin-1, UTF-16)
    DoubleByte, // a byte from 0x81 to 0xFE leads a pair, as in code page 936
};

// The value of `key` in `section`, blanks trimmed and one pair of matching
// quotes removed; nothing when the section or the key is absent.
template <class C>
std::optional<std::basic_string<C>> lookup(std::basic_string_view<C> file,
                                           std::basic_string_view<C> section,
                                           std::basic_string_view<C> key, Units units);

// Every value of a file, found in one pass: each look-up of the same file
// gives what `lookup` gives, from a table, without scanning the file again.
template <class C> class Table {
public:
    Table() = default;
    Table(std::basic_string_view<C> file, Units units);
    std::optional<std::basic_string<C>> lookup(std::basic_string_view<C> section,
                                               std::basic_string_view<C> key) const;

private:
    // Where a key's value stands in `units_`: its text with blanks around it
    // left out and quotes kept, or, for a line holding just the key, the
    // empty place after its name.
    struct Span {
        size_t begin = 0, end = 0;
        bool bare = false;
    };
    // Names compare and hash without regard to ASCII letter case.
    struct Folded {
        size_t operator()(std::u16string_view name) const;
        bool operator()(std::u16string_view a, std::u16string_view b) const;
    };
    using Keys = std::unordered_map<std::u16string_view, Span, Folded, Folded>;

    // The file on the units lookup compares (a double-byte character is one
    // unit); every name in the maps is a view of it, so it never moves.
    std::unique_ptr<const std::u16string> units_;
    std::unordered_map<std::u16string_view, Keys, Folded, Folded> sections_;
    Units kind_ = Units::Single;
};

// The file with `key` in `section` set to `value`: the value replaced where
// it stands, or a new key at the end of its section, or a new section at the
// end of the file. Every other unit of the file is kept as it was.
template <class C>
std::basic_string<C> withValue(std::basic_string_view<C> file, std::basic_string_view<C> section,
                               std::basic_string_view<C> key, std::basic_string_view<C> value,
                               Units units);

// One value of withValues; where `keepStored`, a value already stored (not
// empty) stays as it is.
template <class C> struct Setting {
    std::basic_string_view<C> section, key, value;
    bool keepStored = false;
};

// The file with each setting applied in turn, as withValue applies them one
// after another, with the file taken apart and put together once.
template <class C>
std::basic_string<C> withValues(std::basic_string_view<C> file,
                                const std::vector<Setting<C>>& settings, Units units);

// Whether a name or value can be stored at all: a line break or NUL would
// break the line it stands on or plant other keys; a key holding '=' or
// starting with '[', and names with blanks around them, could never be
// found again.
template <class C>
bool storable(std::basic_string_view<C> section, std::basic_string_view<C> key,
              std::basic_string_view<C> value, Units units = Units::Single);

} // namespace profile
