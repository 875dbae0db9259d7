// Wine ends a process with SIGKILL when its Linux side lingers after its
// Windows side has ended; on a loaded machine a clean end then reaches the
// shell as 137. So the programs the tests run also leave their Windows exit
// code in the file TIDE_EXIT_FILE names (a Windows path), for the shell to
// read when it sees 137.
#pragma once

#include <windows.h>

#include <cstdio>

inline int recordExit(int status) {
    wchar_t path[MAX_PATH] = {};
    const DWORD n = GetEnvironmentVariableW(L"TIDE_EXIT_FILE", path, MAX_PATH);
    if (n > 0 && n < MAX_PATH) {
        if (FILE* f = _wfopen(path, L"w")) {
            std::fprintf(f, "%d\n", status);
            std::fclose(f);
        }
    }
    std::fflush(nullptr);
    return status;
}
