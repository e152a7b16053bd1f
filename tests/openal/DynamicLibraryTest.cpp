// Where LoadLibrary looks for a module given by bare file name.
#include "platform/DynamicLibrary.h"
#include "platform/SoundModule.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <link.h>

#include <filesystem>

namespace k58 {
namespace {

namespace fs = std::filesystem;

std::string PathOf(HMODULE module) {
    link_map* map = nullptr;
    if (module == nullptr || ::dlinfo(module, RTLD_DI_LINKMAP, &map) != 0)
        return {};
    return map->l_name;
}

TEST(DynamicLibraryTest, LooksNextToTheProgramThenInTheInstalledLibraryFolder) {
    char pattern[] = "/tmp/k58-dl-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const fs::path root = pattern;
    fs::create_directories(root / "bin");
    fs::create_directories(root / "lib" / "k58");
    fs::copy_file(K58_DSOUND_PATH, root / "lib" / "k58" / kDirectSoundModule);
    const std::string program = (root / "bin").string();

    HMODULE installed = LoadLibraryFrom(kDirectSoundModule, program);
    ASSERT_NE(installed, nullptr);
    EXPECT_EQ(PathOf(installed), program + "/../lib/k58/" + kDirectSoundModule);
    EXPECT_NE(GetProcAddress(installed, kDirectSoundCreateName), nullptr);
    EXPECT_EQ(GetProcAddress(installed, "NoSuchFunction"), nullptr);

    // A copy next to the program wins.
    fs::copy_file(K58_FAULT_DSOUND_PATH, root / "bin" / kDirectSoundModule);
    HMODULE beside = LoadLibraryFrom(kDirectSoundModule, program);
    ASSERT_NE(beside, nullptr);
    EXPECT_EQ(PathOf(beside), program + "/" + kDirectSoundModule);

    EXPECT_TRUE(FreeLibrary(beside));
    EXPECT_TRUE(FreeLibrary(installed));
    EXPECT_FALSE(FreeLibrary(nullptr));
    fs::remove_all(root);

    EXPECT_EQ(LoadLibraryFrom("k58-no-such-module.so", program), nullptr);
    EXPECT_EQ(LoadLibrary(""), nullptr);
    EXPECT_FALSE(ExecutableDirectory().empty());
    EXPECT_TRUE(fs::exists(ExecutableDirectory()));
}

// A process of its own: a module once loaded stays loaded under its name.
TEST(DynamicLibraryTest, FindsTheModuleInTheDebianPackagesGamesLayout) {
    char pattern[] = "/tmp/k58-dl-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const fs::path root = pattern;
    fs::create_directories(root / "games");
    fs::create_directories(root / "lib" / "games" / "k58");
    fs::copy_file(K58_DSOUND_PATH, root / "lib" / "games" / "k58" / kDirectSoundModule);
    const std::string games = (root / "games").string();

    HMODULE packaged = LoadLibraryFrom(kDirectSoundModule, games);
    EXPECT_EQ(PathOf(packaged), games + "/../lib/games/k58/" + kDirectSoundModule);
    EXPECT_TRUE(FreeLibrary(packaged));
    fs::remove_all(root);
}

} // namespace
} // namespace k58
