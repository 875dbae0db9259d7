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

Replaced replace(const std::wstring& path, const std::string& bytes, int retryMs) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return {ERROR_DIRECTORY};
    }
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
        return {ERROR_FILE_READ_ONLY};
    }
    // The lock of the caller keeps other writers out; the process id keeps a
    // crashed writer's leftover from being taken for this one.
    const std::wstring fresh = path + L"." + std::to_wstring(GetCurrentProcessId()) + L".new";
    bool written = false;
    {
        Handle file(CreateFileW(fresh.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.ok()) {
            const DWORD error = GetLastError();
            if (error != ERROR_ACCESS_DENIED) {
                return {error};
            }
            // The folder takes no new file: the file itself, in place.
            Handle in_place(CreateFileW(path.c_str(), GENERIC_WRITE, shareAll, nullptr, OPEN_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
            if (!in_place.ok() || !writeAll(in_place.get(), bytes)) {
                return {GetLastError()};
            }
            return {};
        }
        written = writeAll(file.get(), bytes);
    }
    DWORD error = written ? ERROR_SUCCESS : GetLastError();
    const ULONGLONG deadline = GetTickCount64() + ULONGLONG(std::max(retryMs, 0));
    while (written) {
        if (MoveFileExW(fresh.c_str(), path.c_str(),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            return {};
        }
        error = GetLastError();
        if (!busy(error) || GetTickCount64() >= deadline) {
            // Still held when the time is up: another program's, not a lack of rights.
            error = busy(error) ? ERROR_SHARING_VIOLATION : error;
            break;
        }
        Sleep(1);
    }
    DeleteFileW(fresh.c_str());
    return {error == ERROR_SUCCESS ? DWORD(ERROR_WRITE_FAULT) : error};
}

bool mayWrite(const std::wstring& path) {
    Handle file(CreateFileW(path.c_str(), GENERIC_WRITE, shareAll, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    return file.ok() || GetLastError() == ERROR_FILE_NOT_FOUND;
}

} // namespace win32file
