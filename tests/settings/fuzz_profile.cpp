// Fuzz target of the profile format. Whatever the file's bytes, the table of
// one parse finds what a scan finds, a write of a storable value reads back
// exactly and leaves every other key as it was, and values written together
// come out as written one after another.
#include "profile.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

// Splits the input at its first four 0x01 bytes: file, section, key, value, probe.
std::string_view take(std::string_view& rest) {
    size_t cut = rest.find('\x01');
    std::string_view part = rest.substr(0, cut);
    rest = cut == std::string_view::npos ? std::string_view() : rest.substr(cut + 1);
    return part;
}

// Names that may be the same one; the format folds no more than ASCII letters.
bool mayMatch(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        auto fold = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c + 32) : c; };
        if (fold(a[i]) != fold(b[i])) {
            return false;
        }
    }
    return true;
}

// A double-byte file cut short in a character: what a write puts after it
// changes how that last value reads (tested on its own).
bool endsInLeadByte(std::string_view file) {
    bool lone = false;
    for (size_t i = 0; i < file.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(file[i]);
        lone = c >= 0x81 && c <= 0xFE && i + 1 == file.size();
        i += (c >= 0x81 && c <= 0xFE) ? 1 : 0;
    }
    return lone;
}

void require(bool ok) {
    if (!ok) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    const profile::Units units = (size % 2) ? profile::Units::DoubleByte : profile::Units::Single;
    const std::string_view file = take(rest), section = take(rest), key = take(rest),
                           value = take(rest), probeKey = take(rest);

    auto before = profile::lookup<char>(file, section, probeKey, units);
    auto probeElsewhere = profile::lookup<char>(file, probeKey, key, units);
    // The table of one parse finds what each scan finds.
    const profile::Table<char> table(file, units);
    require(table.lookup(section, probeKey) == before);
    require(table.lookup(probeKey, key) == probeElsewhere);
    if (units == profile::Units::DoubleByte && endsInLeadByte(file)) {
        return 0;
    }
    if (!profile::storable<char>(section, key, value, units)) {
        return 0;
    }
    const std::string out = profile::withValue<char>(file, section, key, value, units);
    require(profile::lookup<char>(out, section, key, units) == std::string(value));
    require(profile::Table<char>(out, units).lookup(section, key) == std::string(value));
    if (!mayMatch(probeKey, key) && profile::storable<char>(section, probeKey, "", units)) {
        require(profile::lookup<char>(out, section, probeKey, units) == before);
    }
    if (!mayMatch(probeKey, section) && profile::storable<char>(probeKey, key, "", units)) {
        require(profile::lookup<char>(out, probeKey, key, units) == probeElsewhere);
    }
    // Values set together come out as set one after another; the second is
    // kept where it is stored already.
    if (profile::storable<char>(section, probeKey, value, units)) {
        const auto kept = profile::lookup<char>(out, section, probeKey, units);
        const std::string twice =
            kept && !kept->empty() ? out
                                   : profile::withValue<char>(out, section, probeKey, value, units);
        require(profile::withValues<char>(file,
                                          {{section, key, value}, {section, probeKey, value, true}},
                                          units) == twice);
    }
    // Writing the same value again changes nothing.
    require(profile::withValue<char>(out, section, key, value, units) == out);
    return 0;
}
