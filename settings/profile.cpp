#include "profile.h"

#include <algorithm>
#include <memory>

namespace profile {
namespace {

template <class C> unsigned code(C c) {
    if constexpr (sizeof(C) == 1) {
        return static_cast<unsigned char>(c);
    } else {
        return static_cast<unsigned>(c);
    }
}

template <class C> bool blank(C c) {
    return c == C(' ') || c == C('\t');
}

template <class C> unsigned folded(C c) {
    unsigned u = code(c);
    return (u >= 'A' && u <= 'Z') ? u + ('a' - 'A') : u;
}

// Only ASCII letters fold; a double-byte character is one unit here (see
// widened), so its trail byte is never taken for a letter.
template <class C> bool sameName(std::basic_string_view<C> a, std::basic_string_view<C> b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (folded(a[i]) != folded(b[i])) {
            return false;
        }
    }
    return true;
}

template <class C> std::basic_string_view<C> trimmed(std::basic_string_view<C> s) {
    while (!s.empty() && blank(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && blank(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

template <class C> bool quotedPair(std::basic_string_view<C> s) {
    return s.size() >= 2 && (s.front() == C('"') || s.front() == C('\'')) && s.front() == s.back();
}

struct Line {
    size_t begin; // first unit of the line
    size_t end;   // end of its text, before the line break
    size_t next;  // first unit after the line break
};

template <class C> Line lineAt(std::basic_string_view<C> file, size_t begin) {
    size_t end = begin;
    while (end < file.size() && file[end] != C('\r') && file[end] != C('\n')) {
        ++end;
    }
    size_t next = end;
    if (next < file.size()) {
        next +=
            (file[next] == C('\r') && next + 1 < file.size() && file[next + 1] == C('\n')) ? 2 : 1;
    }
    return {begin, end, next};
}

// The name of a section header line, or nothing for any other line.
template <class C>
std::optional<std::basic_string_view<C>> headerName(std::basic_string_view<C> text) {
    text = trimmed(text);
    if (text.empty() || text.front() != C('[')) {
        return std::nullopt;
    }
    size_t close = text.rfind(C(']'));
    if (close == std::basic_string_view<C>::npos || close == 0) {
        return std::nullopt;
    }
    return trimmed(text.substr(1, close - 1));
}

// Where a key and its section stand in a file.
struct Place {
    bool section = false;           // the section exists
    size_t sectionEnd = 0;          // just after the section's last non-blank line
    bool sectionEndHasBreak = true; // that line ends in a line break
    bool key = false;
    bool bare = false;     // the key's line has no '=' and so no value
    size_t valueBegin = 0; // the value's text, blanks around it excluded
    size_t valueEnd = 0;
};

// A section and key to look for.
template <class C> struct Wanted { std::basic_string_view<C> section, key; };

// Where each wanted key and its section stand, in one walk of the file.
template <class C>
std::vector<Place> locateAll(std::basic_string_view<C> file, const std::vector<Wanted<C>>& wanted) {
    enum class State { Before, Inside, Past };
    std::vector<Place> places(wanted.size());
    // The lines before the first header form the section named by the empty text.
    std::vector<State> states(wanted.size(), State::Before);
    size_t open = 0; // wanted sections not yet past
    for (size_t i = 0; i < wanted.size(); ++i) {
        if (wanted[i].section.empty()) {
            states[i] = State::Inside;
            places[i].section = true;
        }
    }
    for (size_t at = 0; at < file.size() && open < wanted.size();) {
        Line line = lineAt(file, at);
        at = line.next;
        std::basic_string_view<C> text = file.substr(line.begin, line.end - line.begin);
        if (auto name = headerName(text)) {
            for (size_t i = 0; i < wanted.size(); ++i) {
                if (states[i] == State::Inside) {
                    states[i] = State::Past; // only the first section of that name counts
                    ++open;
                } else if (states[i] == State::Before && sameName(*name, wanted[i].section)) {
                    states[i] = State::Inside;
                    places[i].section = true;
                    places[i].sectionEnd = line.next;
                    places[i].sectionEndHasBreak = line.next > line.end;
                }
            }
            continue;
        }
        if (trimmed(text).empty()) {
            continue;
        }
        const size_t equals = text.find(C('='));
        // A line holding just the name is that key without a value, as
        // Windows reads it: absent on read, and a write gives it one in place.
        const std::basic_string_view<C> name =
            trimmed(equals == std::basic_string_view<C>::npos ? text : text.substr(0, equals));
        for (size_t i = 0; i < wanted.size(); ++i) {
            Place& place = places[i];
            if (states[i] != State::Inside) {
                continue;
            }
            place.sectionEnd = line.next;
            place.sectionEndHasBreak = line.next > line.end;
            if (place.key || !sameName(name, wanted[i].key)) {
                continue;
            }
            place.key = true;
            if (equals == std::basic_string_view<C>::npos) {
                place.bare = true;
                place.valueBegin = place.valueEnd =
                    line.begin + size_t(name.data() - text.data()) + name.size();
                continue;
            }
            std::basic_string_view<C> rest = text.substr(equals + 1);
            size_t lead = 0;
            while (lead < rest.size() && blank(rest[lead])) {
                ++lead;
            }
            place.valueBegin = line.begin + equals + 1 + lead;
            place.valueEnd = place.valueBegin + trimmed(rest).size();
        }
    }
    return places;
}

template <class C>
Place locate(std::basic_string_view<C> file, std::basic_string_view<C> section,
             std::basic_string_view<C> key) {
    return locateAll<C>(file, {{section, key}}).front();
}

// The file's own line break; CRLF for a file that has none yet.
template <class C> std::basic_string<C> lineBreak(std::basic_string_view<C> file) {
    for (size_t i = 0; i < file.size(); ++i) {
        if (file[i] == C('\n')) {
            return {C('\n')};
        }
        if (file[i] == C('\r')) {
            if (i + 1 < file.size() && file[i + 1] == C('\n')) {
                return {C('\r'), C('\n')};
            }
            return {C('\r')};
        }
    }
    return {C('\r'), C('\n')};
}

// A value the read would alter is put in double quotes, which the read removes.
template <class C> std::basic_string<C> stored(std::basic_string_view<C> value) {
    std::basic_string<C> out(value);
    if (!value.empty() && (blank(value.front()) || blank(value.back()) || quotedPair(value))) {
        out.insert(out.begin(), C('"'));
        out.push_back(C('"'));
    }
    return out;
}

template <class C> bool endsWithBreak(std::basic_string_view<C> file) {
    return !file.empty() && (file.back() == C('\n') || file.back() == C('\r'));
}

template <class C>
std::optional<std::basic_string<C>> lookupUnits(std::basic_string_view<C> file,
                                                std::basic_string_view<C> section,
                                                std::basic_string_view<C> key) {
    Place place = locate(file, section, key);
    if (!place.key || place.bare) {
        return std::nullopt;
    }
    std::basic_string_view<C> value =
        file.substr(place.valueBegin, place.valueEnd - place.valueBegin);
    if (quotedPair(value)) {
        value = value.substr(1, value.size() - 2);
    }
    return std::basic_string<C>(value);
}

// Sets the value in `out` itself.
template <class C>
void setUnits(std::basic_string<C>& out, std::basic_string_view<C> section,
              std::basic_string_view<C> key, std::basic_string_view<C> value) {
    const std::basic_string_view<C> file(out);
    Place place = locate(file, section, key);
    if (place.key) {
        std::basic_string<C> text = stored(value);
        if (place.bare) {
            text.insert(text.begin(), C('='));
        }
        out.replace(place.valueBegin, place.valueEnd - place.valueBegin, text);
        return;
    }
    const std::basic_string<C> brk = lineBreak(file);
    std::basic_string<C> entry(key);
    entry.push_back(C('='));
    entry += stored(value);
    if (place.section) {
        // A file without a final line break keeps lacking one.
        if (place.sectionEndHasBreak) {
            out.insert(place.sectionEnd, entry + brk);
        } else {
            out.insert(place.sectionEnd, brk + entry);
        }
        return;
    }
    std::basic_string<C> header(1, C('['));
    header += section;
    header.push_back(C(']'));
    if (file.empty() || endsWithBreak(file)) {
        out += header + brk + entry + brk;
    } else {
        out += brk + header + brk + entry;
    }
}

template <class C>
std::basic_string<C>
withValueUnits(std::basic_string_view<C> file, std::basic_string_view<C> section,
               std::basic_string_view<C> key, std::basic_string_view<C> value) {
    std::basic_string<C> out(file);
    setUnits(out, section, key, value);
    return out;
}

template <class C>
bool storableUnits(std::basic_string_view<C> section, std::basic_string_view<C> key,
                   std::basic_string_view<C> value) {
    auto clean = [](std::basic_string_view<C> s) {
        for (C c : s) {
            if (c == C('\r') || c == C('\n') || c == C(0)) {
                return false;
            }
        }
        return true;
    };
    // Blanks around a name are trimmed on read, and a key line that looks
    // like a header would open a section: such names could not be found again.
    auto findable = [](std::basic_string_view<C> name) { return trimmed(name) == name; };
    return clean(section) && clean(key) && clean(value) && findable(section) && findable(key) &&
           key.find(C('=')) == std::basic_string_view<C>::npos &&
           (key.empty() || key.front() != C('['));
}

// Double-byte text as one unit per character, so that every search (line
// breaks, '=', brackets, blanks, letters) sees characters and never a trail
// byte, as Windows reads code page 936: a lead byte takes the next byte with
// it, whatever that is. Each pair becomes 0x100 and up; the way back is exact.
void widen(std::string_view bytes, std::u16string& units) {
    units.resize(bytes.size());
    char16_t* out = units.data();
    const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto* end = in + bytes.size();
    while (in < end) {
        const unsigned lead = *in++;
        if (lead >= 0x81 && lead <= 0xFE && in < end) {
            *out++ = char16_t(0x100 + ((lead - 0x80) << 8) + *in++);
        } else {
            *out++ = char16_t(lead);
        }
    }
    units.resize(size_t(out - units.data()));
}

std::u16string widened(std::string_view bytes) {
    std::u16string units;
    widen(bytes, units);
    return units;
}

// A lone lead byte (the last of a file cut short) that text now follows
// gets a '?' after it: it would take the next byte otherwise, and the pair
// still reads as the one "?" it read as before.
std::string narrowed(std::u16string_view units) {
    std::string bytes(units.size() * 2, '\0');
    char* out = bytes.data();
    for (size_t i = 0; i < units.size(); ++i) {
        const char16_t u = units[i];
        if (u < 0x100) {
            *out++ = char(u);
            if (u >= 0x81 && u <= 0xFE && i + 1 < units.size()) {
                *out++ = '?';
            }
        } else {
            *out++ = char(((u - 0x100) >> 8) + 0x80);
            *out++ = char((u - 0x100) & 0xFF);
        }
    }
    bytes.resize(size_t(out - bytes.data()));
    return bytes;
}

// A text ending in a lone lead byte would take the line break after it.
bool endsInLead(std::u16string_view units) {
    return !units.empty() && units.back() >= 0x81 && units.back() <= 0xFE;
}

// The units lookup compares, from a file's own: double-byte text widened,
// anything else one unit per code unit.
template <class C> std::u16string unitsOf(std::basic_string_view<C> text, Units units) {
    if constexpr (sizeof(C) == 1) {
        if (units == Units::DoubleByte) {
            return widened(text);
        }
        std::u16string out(text.size(), u'\0');
        for (size_t i = 0; i < text.size(); ++i) {
            out[i] = char16_t(code(text[i]));
        }
        return out;
    } else {
        (void)units;
        return std::u16string(text);
    }
}

template <class C> std::basic_string<C> fromUnits(std::u16string_view units, Units kind) {
    if constexpr (sizeof(C) == 1) {
        if (kind == Units::DoubleByte) {
            return narrowed(units);
        }
        std::string out(units.size(), '\0');
        for (size_t i = 0; i < units.size(); ++i) {
            out[i] = char(units[i]);
        }
        return out;
    } else {
        (void)kind;
        return std::basic_string<C>(units);
    }
}

} // namespace

template <class C> size_t Table<C>::Folded::operator()(std::u16string_view name) const {
    size_t hash = 14695981039346656037ull; // FNV-1a
    for (char16_t u : name) {
        hash = (hash ^ folded(u)) * 1099511628211ull;
    }
    return hash;
}

template <class C>
bool Table<C>::Folded::operator()(std::u16string_view a, std::u16string_view b) const {
    return sameName(a, b);
}

// The same walk as locate's, once for every section and key: the first
// section of a name and the first key of a name in it count.
template <class C>
Table<C>::Table(std::basic_string_view<C> file, Units units)
    : units_(std::make_unique<const std::u16string>(unitsOf(file, units))), kind_(units) {
    const std::u16string_view text(*units_);
    Keys* inside = &sections_[std::u16string_view()]; // the lines before the first header
    for (size_t at = 0; at < text.size();) {
        const Line line = lineAt(text, at);
        at = line.next;
        const std::u16string_view content = text.substr(line.begin, line.end - line.begin);
        if (auto name = headerName(content)) {
            auto [section, isNew] = sections_.try_emplace(*name);
            inside = isNew ? &section->second : nullptr;
            continue;
        }
        if (!inside || trimmed(content).empty()) {
            continue;
        }
        const size_t equals = content.find(u'=');
        if (equals == std::u16string_view::npos) {
            const std::u16string_view name = trimmed(content);
            const size_t after = size_t(name.data() - text.data()) + name.size();
            inside->try_emplace(name, Span{after, after, true});
            continue;
        }
        const std::u16string_view value = trimmed(content.substr(equals + 1));
        const size_t begin = size_t(value.data() - text.data());
        inside->try_emplace(trimmed(content.substr(0, equals)),
                            Span{begin, begin + value.size(), false});
    }
}

template <class C>
std::optional<std::basic_string<C>> Table<C>::lookup(std::basic_string_view<C> section,
                                                     std::basic_string_view<C> key) const {
    const auto found = sections_.find(unitsOf(section, kind_));
    if (found == sections_.end()) {
        return std::nullopt;
    }
    const auto entry = found->second.find(unitsOf(key, kind_));
    if (entry == found->second.end() || entry->second.bare) {
        return std::nullopt;
    }
    const Span& span = entry->second;
    std::u16string_view value =
        std::u16string_view(*units_).substr(span.begin, span.end - span.begin);
    if (quotedPair(value)) {
        value = value.substr(1, value.size() - 2);
    }
    return fromUnits<C>(value, kind_);
}

template class Table<char>;
template class Table<char16_t>;

template <class C>
std::optional<std::basic_string<C>> lookup(std::basic_string_view<C> file,
                                           std::basic_string_view<C> section,
                                           std::basic_string_view<C> key, Units units) {
    if constexpr (sizeof(C) == 1) {
        if (units == Units::DoubleByte) {
            std::u16string units;
            widen(file, units);
            auto value = lookupUnits<char16_t>(units, widened(section), widened(key));
            return value ? std::optional<std::string>(narrowed(*value)) : std::nullopt;
        }
    }
    (void)units;
    return lookupUnits(file, section, key);
}

template <class C>
std::basic_string<C> withValue(std::basic_string_view<C> file, std::basic_string_view<C> section,
                               std::basic_string_view<C> key, std::basic_string_view<C> value,
                               Units units) {
    if constexpr (sizeof(C) == 1) {
        if (units == Units::DoubleByte) {
            return narrowed(withValueUnits<char16_t>(widened(file), widened(section), widened(key),
                                                     widened(value)));
        }
    }
    (void)units;
    return withValueUnits(file, section, key, value);
}

namespace {

// Where in `file` the unit at `unit` of its units begins, counting from the
// unit `from` at `at`: a double-byte character is two bytes.
template <class C>
size_t codeUnitAt(std::basic_string_view<C> file, Units units, size_t unit, size_t from,
                  size_t at) {
    if constexpr (sizeof(C) == 1) {
        if (units == Units::DoubleByte) {
            for (; from < unit; ++from) {
                const unsigned lead = code(file[at]);
                at += (lead >= 0x81 && lead <= 0xFE && at + 1 < file.size()) ? 2 : 1;
            }
            return at;
        }
    }
    (void)file, (void)units, (void)from, (void)at;
    return unit;
}

// Where each setting names a different key and every key stands in the file
// already (a confirm over a file the programs wrote), the values are set in
// one walk of the file, not one a setting, and the file's other units are
// copied as they are: the text that setting them one after another gives.
// Nothing where that does not hold.
template <class C>
std::optional<std::basic_string<C>>
replacedInOneWalk(std::basic_string_view<C> file, std::u16string_view all,
                  const std::vector<Setting<C>>& settings, Units units) {
    std::vector<std::u16string> names;
    for (const Setting<C>& s : settings) {
        names.push_back(unitsOf(s.section, units));
        names.push_back(unitsOf(s.key, units));
    }
    std::vector<Wanted<char16_t>> wanted;
    for (size_t i = 0; i < names.size(); i += 2) {
        wanted.push_back({names[i], names[i + 1]});
    }
    const std::vector<Place> places = locateAll<char16_t>(all, wanted);
    struct Edit {
        size_t begin, end; // in units
        std::basic_string<C> text;
    };
    std::vector<Edit> edits;
    for (size_t i = 0; i < settings.size(); ++i) {
        const Place& place = places[i];
        if (!place.key) {
            return std::nullopt;
        }
        const std::u16string_view now =
            all.substr(place.valueBegin, place.valueEnd - place.valueBegin);
        std::u16string text = stored<char16_t>(unitsOf(settings[i].value, units));
        if (place.bare) {
            text.insert(text.begin(), u'=');
        } else if (settings[i].keepStored && !(quotedPair(now) ? now.size() == 2 : now.empty())) {
            text = std::u16string(now);
        }
        edits.push_back({place.valueBegin, place.valueEnd, fromUnits<C>(text, units)});
    }
    std::sort(edits.begin(), edits.end(),
              [](const Edit& a, const Edit& b) { return a.begin < b.begin; });
    std::basic_string<C> out;
    out.reserve(file.size() + 64);
    size_t unit = 0, at = 0; // the walk through the file, in units and in its own
    for (const Edit& e : edits) {
        // One key twice: set in turn, the second would see the first.
        if (&e != &edits.front() && e.begin <= unit) {
            return std::nullopt;
        }
        const size_t begin = codeUnitAt(file, units, e.begin, unit, at);
        out.append(file.substr(at, begin - at)).append(e.text);
        at = codeUnitAt(file, units, e.end, e.begin, begin);
        unit = e.end;
    }
    return out.append(file.substr(at));
}

} // namespace

template <class C>
std::basic_string<C> withValues(std::basic_string_view<C> file,
                                const std::vector<Setting<C>>& settings, Units units) {
    // On the units lookup compares, so that a double-byte file is widened and
    // narrowed once, not once a value.
    std::u16string all = unitsOf(file, units);
    if (auto once = replacedInOneWalk(file, all, settings, units)) {
        return std::move(*once);
    }
    for (const Setting<C>& s : settings) {
        const std::u16string section = unitsOf(s.section, units), key = unitsOf(s.key, units);
        if (s.keepStored) {
            const auto stored = lookupUnits<char16_t>(all, section, key);
            if (stored && !stored->empty()) {
                continue;
            }
        }
        setUnits<char16_t>(all, section, key, unitsOf(s.value, units));
    }
    return fromUnits<C>(all, units);
}

template <class C>
bool storable(std::basic_string_view<C> section, std::basic_string_view<C> key,
              std::basic_string_view<C> value, Units units) {
    if constexpr (sizeof(C) == 1) {
        if (units == Units::DoubleByte) {
            const std::u16string s = widened(section), k = widened(key), v = widened(value);
            return storableUnits<char>(section, key, value) && !endsInLead(s) && !endsInLead(k) &&
                   !endsInLead(v) && storableUnits<char16_t>(s, k, v);
        }
    }
    (void)units;
    return storableUnits(section, key, value);
}

#define TIDE_PROFILE_INSTANTIATE(C)                                                                \
    template std::optional<std::basic_string<C>> lookup(                                           \
        std::basic_string_view<C>, std::basic_string_view<C>, std::basic_string_view<C>, Units);   \
    template std::basic_string<C> withValue(std::basic_string_view<C>, std::basic_string_view<C>,  \
                                            std::basic_string_view<C>, std::basic_string_view<C>,  \
                                            Units);                                                \
    template std::basic_string<C> withValues(std::basic_string_view<C>,                            \
                                             const std::vector<Setting<C>>&, Units);               \
    template bool storable(std::basic_string_view<C>, std::basic_string_view<C>,                   \
                           std::basic_string_view<C>, Units);

TIDE_PROFILE_INSTANTIATE(char)
TIDE_PROFILE_INSTANTIATE(char16_t)

} // namespace profile
