// Reading and replacing SysInfo.ini on Windows, against another process that
// holds the file open the way an older reader or a virus scanner does.
//   win_file_test.exe hold PATH   reads PATH in a tight loop without
//   delete sharing until told to stop; exits with the number of torn reads
#include "check.h"

#include <cstdio>

#include "file_windows.h"

#include <windows.h>

#include <string>

namespace {

std::wstring scratchFile(const wchar_t* name) {
    wchar_t folder[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, folder);
    return std::wstring(folder) + name;
}

// Version n of a file: its number at both ends, so that half of one write and
// half of another can be told from a whole.
std::string version(int n) {
    const std::string number = std::to_string(n);
    return "[Sysinfo]\r\nTitle=" + number + "\r\n" + std::string(8000, 'x') + "\r\nEnd=" + number +
           "\r\n";
}

bool whole(const std::string& bytes) {
    const size_t title = bytes.find("Title="), end = bytes.rfind("End=");
    if (title == std::string::npos || end == std::string::npos) {
        return false;
    }
    const std::string first = bytes.substr(title + 6, bytes.find('\r', title) - title - 6);
    return bytes == version(std::stoi(first));
}

int hold(const std::wstring& path, HANDLE ready, HANDLE stop) {
    int torn = 0;
    SetEvent(ready);
    while (WaitForSingleObject(stop, 0) == WAIT_TIMEOUT) {
        // Read and write sharing, no delete sharing: a rename over it fails.
        HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            continue;
        }
        std::string bytes(20000, '\0');
        DWORD got = 0;
        ReadFile(file, bytes.data(), DWORD(bytes.size()), &got, nullptr);
        bytes.resize(got);
        torn += whole(bytes) ? 0 : 1;
        CloseHandle(file);
    }
    return torn;
}

} // namespace

TEST_CASE("a thousand saves while another process holds the file: none refused, none torn") {
    const std::wstring path = scratchFile(L"tide-held.ini");
    CHECK(win32file::replace(path, version(0), 0));
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, L"tide-held-ready");
    HANDLE stop = CreateEventW(nullptr, TRUE, FALSE, L"tide-held-stop");
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring line = L"\"" + std::wstring(self) + L"\" hold \"" + path + L"\"";
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION holder = {};
    CHECK(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                         &holder));
    CHECK(WaitForSingleObject(ready, 30000) == WAIT_OBJECT_0);

    int refused = 0, torn = 0;
    std::string bytes;
    for (int n = 1; n <= 1000; ++n) {
        refused += win32file::replace(path, version(n), 1000) ? 0 : 1;
        // The panel's own reads meanwhile: always a whole file.
        torn +=
            win32file::read(path, bytes, 1 << 20) == win32file::Read::File && whole(bytes) ? 0 : 1;
    }
    SetEvent(stop);
    DWORD heldTorn = 99;
    CHECK(WaitForSingleObject(holder.hProcess, 30000) == WAIT_OBJECT_0);
    GetExitCodeProcess(holder.hProcess, &heldTorn);
    CHECK(refused == 0);
    CHECK(torn == 0);
    CHECK(heldTorn == 0);
    CHECK(win32file::read(path, bytes, 1 << 20) == win32file::Read::File && bytes == version(1000));
    CloseHandle(holder.hProcess);
    CloseHandle(holder.hThread);
    DeleteFileW(path.c_str());
}

TEST_CASE("a read-only file is refused at once and kept; missing and folders are told apart") {
    const std::wstring path = scratchFile(L"tide-readonly.ini");
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    CHECK(win32file::replace(path, version(1), 0));
    CHECK(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY));
    const ULONGLONG start = GetTickCount64();
    CHECK(!win32file::replace(path, version(2), 30000));
    const ULONGLONG took = GetTickCount64() - start;
    std::printf("  a read-only file refused after %llu ms\n", took);
    CHECK(took < 5000); // not its whole budget
    std::string bytes;
    CHECK(win32file::read(path, bytes, 1 << 20) == win32file::Read::File && bytes == version(1));
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(path.c_str());

    CHECK(win32file::read(path, bytes, 1 << 20) == win32file::Read::Missing && bytes.empty());
    CHECK(win32file::read(scratchFile(L""), bytes, 1 << 20) == win32file::Read::Refused);
    CHECK(win32file::replace(path, version(3), 0));
    CHECK(win32file::read(path, bytes, 100) == win32file::Read::Refused); // over the limit
    DeleteFileW(path.c_str());
}

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argc == 3 && std::wstring(argv[1]) == L"hold") {
        return hold(argv[2], OpenEventW(EVENT_MODIFY_STATE, FALSE, L"tide-held-ready"),
                    OpenEventW(SYNCHRONIZE, FALSE, L"tide-held-stop"));
    }
    LocalFree(argv);
    return check::runAll();
}
