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

// Puts `bytes` in place of the file at once: a new file beside it, renamed
// over it. While another process holds the file open without delete sharing
// (a reader of an older program, a virus scanner) the rename is tried again
// for up to `retryMs`. A read-only file is refused at once. Where the folder
// takes no new file, the file is written in place. Whether the file holds
// `bytes`; when not, the file is as it was.
bool replace(const std::wstring& path, const std::string& bytes, int retryMs);

} // namespace win32file
