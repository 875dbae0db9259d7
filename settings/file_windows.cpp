#include "file_windows.h"

#include <windows.h>

#include <algorithm>

namespace win32file {
namespace {

class Handle {
public:
    explicit Handle(HANDLE h) : h_(h) {}
    ~Handle() {
        if (ok()) {
            CloseHandle(h_);
        }
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    bool ok() const { return h_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return h_; }

private:
    HANDLE h_;
};

constexpr DWORD shareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

bool writeAll(HANDLE h, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const DWORD chunk = DWORD(std::min<std::size_t>(bytes.size() - done, 1 << 20));
        DWORD written = 0;
        if (!WriteFile(h, bytes.data() + done, chunk, &written, nullptr) || written == 0) {
            return false;
        }
        done += written;
    }
    return SetEndOfFile(h) && FlushFileBuffers(h);
}

// What another process's open handle without delete sharing, or a virus
// scanner's, makes a rename over the file report: it passes.
bool busy(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED ||
           error == ERROR_LOCK_VIOLATION;
}

} // namespace

Read read(const std::wstring& path, std::string& bytes, std::size_t maxBytes) {
    bytes.clear();
    Handle file(CreateFileW(path.c_str(), GENERIC_READ, shareAll, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.ok()) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? Read::Missing
                                                                              : Read::Refused;
    }
    LARGE_INTEGER size{};
    if (GetFileType(file.get()) != FILE_TYPE_DISK || !GetFileSizeEx(file.get(), &size) ||
        std::size_t(size.QuadPart) > maxBytes) {
        return Read::Refused;
    }
    bytes.resize(std::size_t(size.QuadPart));
    std::size_t done = 0;
    while (done < bytes.size()) {
        DWORD got = 0;
        if (!ReadFile(file.get(), bytes.data() + done, DWORD(bytes.size() - done), &got, nullptr)) {
            bytes.clear();
            return Read::Refused;
        }
        if (got == 0) {
            break; // shortened while being read: what there is
        }
        done += got;
    }
    bytes.resize(done);
    return Read::File;
}

bool replace(const std::wstring& path, const std::string& bytes, int retryMs) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY))) {
        return false;
    }
    // The lock of the caller keeps other writers out; the process id keeps a
    // crashed writer's leftover from being taken for this one.
    const std::wstring fresh = path + L"." + std::to_wstring(GetCurrentProcessId()) + L".new";
    bool written = false;
    {
        Handle file(CreateFileW(fresh.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.ok()) {
            if (GetLastError() != ERROR_ACCESS_DENIED) {
                return false;
            }
            // The folder takes no new file: the file itself, in place.
            Handle in_place(CreateFileW(path.c_str(), GENERIC_WRITE, shareAll, nullptr, OPEN_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
            return in_place.ok() && writeAll(in_place.get(), bytes);
        }
        written = writeAll(file.get(), bytes);
    }
    const ULONGLONG deadline = GetTickCount64() + ULONGLONG(std::max(retryMs, 0));
    while (written) {
        if (MoveFileExW(fresh.c_str(), path.c_str(),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            return true;
        }
        if (!busy(GetLastError()) || GetTickCount64() >= deadline) {
            break;
        }
        Sleep(1);
    }
    DeleteFileW(fresh.c_str());
    return false;
}

} // namespace win32file
