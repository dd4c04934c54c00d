// Platform seam: the user's temporary folder, where the log file lives.
#pragma once

#include <string>

// The folder buffer holds this many characters, terminator included; a longer folder counts as none.
inline constexpr unsigned TEMP_PATH_CAPACITY = 260;

// The temporary folder ending with a path separator, or an empty string when there is none or it
// does not fit TEMP_PATH_CAPACITY. Windows: GetTempPathA's folder. Elsewhere: TMPDIR when it is an
// absolute path, else "/tmp". Read on every call, like GetTempPathA reads TMP and TEMP.
std::string TempFolder();
