// Platform seam: the user's temporary folder, where the log file lives.
#include "TempFolder.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <cstdlib>
#endif

#if defined(_WIN32)

std::string TempFolder()
{
    char buffer[TEMP_PATH_CAPACITY + 1] = {};
    // Returns the length without the terminator, or the size it would need when the folder does not
    // fit, so any value above the capacity means the buffer holds nothing usable.
    const DWORD length = GetTempPathA(TEMP_PATH_CAPACITY, buffer);
    if (length == 0 || length > TEMP_PATH_CAPACITY)
        return {};
    return std::string(buffer);
}

#else

std::string TempFolder()
{
    const char* dir = std::getenv("TMPDIR");
    std::string folder = (dir != nullptr && dir[0] == '/') ? dir : "/tmp";
    if (folder.back() != '/')
        folder += '/';
    // Same reach as the Windows query: the folder and its terminator must fit the capacity.
    if (folder.size() >= TEMP_PATH_CAPACITY)
        return {};
    return folder;
}

#endif
