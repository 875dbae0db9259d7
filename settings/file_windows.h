// Reading and replacing SysInfo.ini with the Win32 calls themselves, free of
// Qt so that the cross tests exercise them: Qt's own files share neither
// with a replace by another process.
#pragma once

#include <cstddef>
#include <string>

namespace win32file {

enum class Read {
    File,    // a regular file, read whole
    Missing, // nothing at the path
    Refused, // a folder, a file larger than the limit, or unreadable
};

// The whole file, up to `maxBytes`. It is opened sharing reading, writing and
// deletion, so that a replace by another process never fails for this read.
Read read(const std::wstring& path, std::string& bytes, std::size_t maxBytes);

// A replace's outcome: the Win32 error that stopped it, or none.
struct Replaced {
    unsigned long error = 0;
    explicit operator bool() const { return error == 0; }
};

// Puts `bytes` in place of the file at once: a new file beside it, renamed
// over it. While another process holds the file open without delete sharing
// (a reader of an older program, a virus scanner) the rename is tried again
// for up to `retryMs`. A read-only file is refused at once
// (ERROR_FILE_READ_ONLY). Where the folder takes no new file, the file is
// written in place. True when the file holds `bytes`; when not, the file is
// as it was.
Replaced replace(const std::wstring& path, const std::string& bytes, int retryMs);

// Whether this user may write the file: its read-only attribute and its
// access rights, tested by opening it for writing (which changes nothing). A
// missing file counts as writable; the save itself tells.
bool mayWrite(const std::wstring& path);

} // namespace win32file
