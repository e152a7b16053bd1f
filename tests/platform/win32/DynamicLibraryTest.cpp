// Library loading on Windows: a bare file name only from the system folder,
// file names outside the ANSI code page, entry points, the program's folder.
#include "platform/DynamicLibrary.h"

#include <windows.h>
#undef LoadLibrary

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace k58 {
namespace {

namespace fs = std::filesystem;

std::string Utf8(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

fs::path FromUtf8(const std::string& text) {
    return fs::path(std::u8string(text.begin(), text.end()));
}

// The file a loaded module came from.
fs::path PathOf(HMODULE module) {
    wchar_t path[MAX_PATH];
    const DWORD length = ::GetModuleFileNameW(static_cast<::HMODULE>(module), path, MAX_PATH);
    return std::wstring(path, length);
}

using ProbeFunction = int (*)();

class DynamicLibraryTest : public testing::Test {
protected:
    void SetUp() override {
        // Czech and Cyrillic: no ANSI code page has both.
        mFolder = fs::temp_directory_path() / fs::path(u8"k58-dl-čж");
        mFolder += std::to_wstring(::GetCurrentProcessId());
        fs::create_directories(mFolder);
        const fs::path built =
            FromUtf8(ExecutableDirectory()) / K58_PROBE_FOLDER / K58_PROBE_MODULE;
        fs::copy_file(built, mFolder / K58_PROBE_MODULE);
    }
    void TearDown() override { fs::remove_all(mFolder); }

    fs::path mFolder;
};

TEST_F(DynamicLibraryTest, LoadsABareNameFromTheSystemFolderOnly) {
    // A library of that name in the program's folder is not the system's.
    EXPECT_EQ(LoadLibraryFrom(K58_PROBE_MODULE, Utf8(mFolder)), nullptr);
    EXPECT_EQ(LoadLibrary(K58_PROBE_MODULE), nullptr);
    EXPECT_EQ(LoadLibraryFrom("k58-no-such-module.dll", Utf8(mFolder)), nullptr);

    HMODULE kernel = LoadLibraryFrom("kernel32.dll", Utf8(mFolder));
    ASSERT_NE(kernel, nullptr);
    EXPECT_NE(GetProcAddress(kernel, "GetTickCount"), nullptr);
    EXPECT_EQ(GetProcAddress(kernel, "NoSuchFunction"), nullptr);
    EXPECT_TRUE(FreeLibrary(kernel));

    EXPECT_EQ(LoadLibrary(""), nullptr);
    EXPECT_EQ(GetProcAddress(nullptr, "GetTickCount"), nullptr);
    EXPECT_FALSE(FreeLibrary(nullptr));
}

TEST_F(DynamicLibraryTest, LoadsANameWithAFolderAsGiven) {
    HMODULE probe = LoadLibraryFrom(Utf8(mFolder / K58_PROBE_MODULE), "");
    ASSERT_NE(probe, nullptr);
    EXPECT_TRUE(fs::equivalent(PathOf(probe), mFolder / K58_PROBE_MODULE));
    auto* answer = reinterpret_cast<ProbeFunction>(GetProcAddress(probe, "K58ProbeAnswer"));
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer(), 58);
    EXPECT_TRUE(FreeLibrary(probe));
}

TEST(ExecutableDirectoryTest, IsThisProgramsFolder) {
    const std::string folder = ExecutableDirectory();
    ASSERT_FALSE(folder.empty());
    EXPECT_NE(folder.back(), '\\');
    EXPECT_TRUE(fs::is_regular_file(FromUtf8(folder) / K58_TEST_PROGRAM));
}

} // namespace
} // namespace k58
