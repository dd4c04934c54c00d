// The Windows side of the platform seams, run under Wine: the temporary folder and the log file in it, and
// the three library operations of the GPU runtime loader.
#include "DynamicLibrary.h"
#include "LogFile.h"
#include "TempFolder.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

namespace {

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The folder of this test program, where the build puts the planted runtime stand-ins.
std::wstring ProgramFolder()
{
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    return folder.substr(0, folder.find_last_of(L"\\/") + 1);
}

TEST(TempFolderWindows, IsTheFolderWindowsReports)
{
    char expected[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathA(MAX_PATH, expected);
    ASSERT_GT(length, 0u);
    const std::string folder = TempFolder();
    EXPECT_EQ(folder, std::string(expected, length));
    // A drive path ending with a separator, not the POSIX fallback of other platforms.
    ASSERT_GE(folder.size(), 3u);
    EXPECT_EQ(folder.substr(1, 2), ":\\") << folder;
    EXPECT_EQ(folder.back(), '\\') << folder;
}

TEST(LogFileWindows, LineLandsInTheTemporaryFolderWithWindowsLineEnds)
{
    const std::string path = TempFolder() + "Quaverflux.log";
    const std::string before = ReadFile(path);
    const std::string token = "windows seam check " + std::to_string(GetCurrentProcessId()) + "-" +
                              std::to_string(GetTickCount64());
    LogMessage("GPU setup failed (%s): %s", "CUDA", token.c_str());

    const std::string after = ReadFile(path);
    ASSERT_GT(after.size(), before.size()) << "nothing appended to " << path;
    EXPECT_EQ(after.compare(0, before.size(), before), 0) << "earlier lines were changed";
    const std::string line = after.substr(before.size());
    // "[YYYY-MM-DD hh:mm:ss] " + message, and the text-mode newline stored as CR LF.
    const std::string message = "GPU setup failed (CUDA): " + token + "\r\n";
    ASSERT_EQ(line.size(), 22 + message.size()) << line;
    EXPECT_EQ(line.front(), '[');
    EXPECT_EQ(line.substr(20, 2), "] ");
    EXPECT_EQ(line.substr(22), message);
}

TEST(DynamicLibraryWindows, FindsOnlyLibrariesAlreadyLoaded)
{
    EXPECT_EQ(FindLoadedLibrary(L"kernel32.dll"), GetModuleHandleW(L"kernel32.dll"));
    EXPECT_NE(FindLoadedLibrary(L"kernel32.dll"), nullptr);
    EXPECT_EQ(FindLoadedLibrary(L"qf_never_loaded.dll"), nullptr);
}

TEST(DynamicLibraryWindows, LooksUpExportsByName)
{
    const LibraryHandle kernel32 = FindLoadedLibrary(L"kernel32.dll");
    ASSERT_NE(kernel32, nullptr);
    EXPECT_EQ(FindSymbol(kernel32, "GetTempPathA"),
              reinterpret_cast<SymbolAddress>(GetProcAddress(static_cast<HMODULE>(kernel32), "GetTempPathA")));
    EXPECT_NE(FindSymbol(kernel32, "GetTempPathA"), nullptr);
    EXPECT_EQ(FindSymbol(kernel32, "qf_no_such_function"), nullptr);
}

TEST(DynamicLibraryWindows, LoadsFromTheSystemFolderOnly)
{
    // nvcuda.dll lies beside this program; the ordinary search would take it, the system-folder search
    // must not (Wine's system folder has no CUDA driver).
    const std::wstring planted = ProgramFolder() + L"nvcuda.dll";
    ASSERT_NE(GetFileAttributesW(planted.c_str()), INVALID_FILE_ATTRIBUTES) << "stand-in not built";
    EXPECT_EQ(LoadSystemLibrary(L"nvcuda.dll"), nullptr);
    // The premise: the ordinary search does find the planted copy.
    const HMODULE ordinary = LoadLibraryW(L"nvcuda.dll");
    EXPECT_NE(ordinary, nullptr);
    if (ordinary)
        FreeLibrary(ordinary);

    const LibraryHandle system = LoadSystemLibrary(L"kernel32.dll");
    EXPECT_EQ(system, GetModuleHandleW(L"kernel32.dll"));
}

}   // namespace
