// The mixing period the module hands to OpenAL Soft: set once, while the
// process has one thread, and never over a period the user configured. Each
// case opens the module in a process of its own, since OpenAL reads its
// configuration once per process.
#include "platform/openal/OutputSettings.h"
#include "SoundTestSupport.h"
#include "platform/openal/ConfigFiles.h"

#include <AL/alc.h>
#include <AL/alext.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <thread>

namespace k58 {
namespace {

using namespace soundtest;

TEST(ConfigFilesTest, APeriodCountsInTheGeneralSectionOnly) {
    using openal::SetsPeriod;
    EXPECT_TRUE(SetsPeriod("period_size = 1024\n"));
    EXPECT_TRUE(SetsPeriod("# mine\n[ general ]\n  period_size=512 # fast\n"));
    EXPECT_TRUE(SetsPeriod("[pulse]\nallow-moves = true\n[general]\nperiod_size = 64"));
    EXPECT_TRUE(SetsPeriod("[pulse]\nperiods = 2\n[General]\nperiod_size = 256\n"))
        << "OpenAL compares section names ignoring case";
    EXPECT_FALSE(SetsPeriod("[pulse]\nperiod_size = 1024\n"));
    EXPECT_FALSE(SetsPeriod("# period_size = 1024\nperiods = 4\n"));
    EXPECT_FALSE(SetsPeriod(""));
}

TEST(ConfigFilesTest, ConfigDirsThatAreNotAbsoluteAreSkippedAsOpenAlSkipsThem) {
    const char* saved = std::getenv("XDG_CONFIG_DIRS");
    const std::string before = saved != nullptr ? saved : "";
    ::setenv("XDG_CONFIG_DIRS", "relative/xdg:/abs/xdg::~/xdg", 1);
    const auto sources = openal::ConfigSources::OfThisProcess();
    if (saved != nullptr)
        ::setenv("XDG_CONFIG_DIRS", before.c_str(), 1);
    else
        ::unsetenv("XDG_CONFIG_DIRS");
    ASSERT_GE(sources.before.size(), 2u);
    EXPECT_EQ(sources.before[0], openal::kSystemConfig);
    EXPECT_EQ(sources.before[1], "/abs/xdg/alsoft.conf");
    for (const std::string& path : sources.before)
        EXPECT_EQ(path.front(), '/') << path;
}

// A folder for a configuration file, and an environment where OpenAL finds
// no other user configuration.
class PeriodTest : public testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/k58-settings-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        mFolder = pattern;
        GTEST_FLAG_SET(death_test_style, "threadsafe");
    }
    std::string Write(const std::string& name, const std::string& text) const {
        const std::string path = mFolder + "/" + name;
        std::ofstream(path) << text;
        return path;
    }
    // In the child: the environment of a user with no configuration.
    void NoUserConfig() const {
        ::setenv("HOME", mFolder.c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", mFolder.c_str(), 1);
        ::setenv("XDG_CONFIG_DIRS", (mFolder + "/system").c_str(), 1);
        ::unsetenv("ALSOFT_CONF");
        UseNullOutput();
    }
    std::string mFolder;
};

// Opens the module's default output; true when its mixing period is frames.
bool PeriodIs(int frames) {
    Ref<IDirectSound> device;
    if (LoadCreate(K58_DSOUND_PATH)(nullptr, device.Out(), nullptr) != DS_OK)
        return false;
    ALCint refresh = 0;
    ALCint frequency = 0;
    ALCdevice* output = alcGetContextsDevice(alcGetCurrentContext());
    alcGetIntegerv(output, ALC_REFRESH, 1, &refresh);
    alcGetIntegerv(output, ALC_FREQUENCY, 1, &frequency);
    std::fprintf(stderr, "%d updates a second at %d Hz\n", refresh, frequency);
    return refresh == frequency / frames;
}

TEST_F(PeriodTest, TheModuleSetsItsPeriodWhenTheUserSetNone) {
    EXPECT_EXIT(
        {
            NoUserConfig();
            // The user's own ALSOFT_CONF is still read, after the period.
            const std::string own = Write("own.conf", "[general]\nperiods = 4\n");
            ::setenv("ALSOFT_CONF", own.c_str(), 1);
            const bool period = PeriodIs(openal::kPeriodFrames);
            const char* named = std::getenv("ALSOFT_CONF");
            if (!period || named == nullptr || own == named)
                std::exit(1);
            // The in-memory file is not handed on to programs started from here.
            const std::string prefix = "/proc/self/fd/";
            const int fd = std::atoi(named + prefix.size());
            std::exit(std::string(named).rfind(prefix, 0) == 0 &&
                              (::fcntl(fd, F_GETFD) & FD_CLOEXEC) != 0
                          ? 0
                          : 3);
        },
        testing::ExitedWithCode(0), "");
}

TEST_F(PeriodTest, APeriodInTheUsersAlsoftrcWins) {
    EXPECT_EXIT(
        {
            NoUserConfig();
            Write(".alsoftrc", "[general]\nperiod_size = 1024\n");
            std::exit(PeriodIs(1024) ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}

TEST_F(PeriodTest, APeriodInTheSystemConfigurationWins) {
    // The system's file is replaced in a private view of the file system.
    const pid_t probe = ::fork();
    if (probe == 0)
        ::_exit(::unshare(CLONE_NEWNS) == 0 ? 0 : 1);
    int status = 0;
    ::waitpid(probe, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        GTEST_SKIP() << "no private mount namespace here";
    const std::string system = Write("system.conf", "period_size = 512\n");
    EXPECT_EXIT(
        {
            NoUserConfig();
            if (::unshare(CLONE_NEWNS) != 0 ||
                ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
                ::mount(system.c_str(), openal::kSystemConfig, nullptr, MS_BIND, nullptr) != 0)
                std::exit(2);
            std::exit(PeriodIs(512) ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}

TEST_F(PeriodTest, AModuleLoadedWhileOtherThreadsRunLeavesTheEnvironmentAlone) {
    EXPECT_EXIT(
        {
            NoUserConfig();
            std::thread other([] { std::this_thread::sleep_for(std::chrono::seconds(2)); });
            other.detach();
            // OpenAL's own period, and no ALSOFT_CONF.
            std::exit(PeriodIs(1024) && std::getenv("ALSOFT_CONF") == nullptr ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}

TEST_F(PeriodTest, HeadphonesGetNoHrtfFilter) {
    EXPECT_EXIT(
        {
            NoUserConfig();
            // An output that reports headphones, with HRTF left to OpenAL.
            ::setenv("ALSOFT_CONF", Write("phones.conf", "stereo-mode = headphones\n").c_str(), 1);
            Ref<IDirectSound> device;
            if (LoadCreate(K58_DSOUND_PATH)(nullptr, device.Out(), nullptr) != DS_OK)
                std::exit(2);
            ALCint hrtf = -1;
            alcGetIntegerv(alcGetContextsDevice(alcGetCurrentContext()), ALC_HRTF_SOFT, 1, &hrtf);
            std::fprintf(stderr, "HRTF %d\n", hrtf);
            std::exit(hrtf == ALC_FALSE ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}

} // namespace
} // namespace k58
