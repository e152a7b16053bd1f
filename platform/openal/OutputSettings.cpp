#include "platform/openal/OutputSettings.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

namespace k58::openal {
namespace {

// OpenAL Soft 1.19 ignores ALC_REFRESH among the context attributes and takes
// its period only from its configuration files, which it reads once, at the
// first device call of the process. The last file it reads is the one named
// by ALSOFT_CONF. So for that first call ALSOFT_CONF names an in-memory file
// holding our period followed by the user's own ALSOFT_CONF file, if any, so
// that anything the user sets there still wins; afterwards the variable is
// put back as it was. Nothing is written to disk.
class PeriodSetting {
public:
    PeriodSetting() {
        const char* user = std::getenv(kVariable);
        if (user != nullptr)
            mSaved = std::string(user);
        std::string text = "[general]\nperiod_size = " + std::to_string(kPeriodFrames) + "\n";
        if (mSaved && !mSaved->empty()) {
            std::ifstream file(*mSaved);
            std::stringstream content;
            content << file.rdbuf();
            text += "\n" + content.str() + "\n";
        }
        mFd = ::memfd_create("k58-openal-settings", MFD_CLOEXEC);
        if (mFd < 0)
            return;
        if (::write(mFd, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
            ::close(mFd);
            mFd = -1;
            return;
        }
        ::setenv(kVariable, ("/proc/self/fd/" + std::to_string(mFd)).c_str(), 1);
    }
    ~PeriodSetting() {
        if (mFd < 0)
            return;
        if (mSaved)
            ::setenv(kVariable, mSaved->c_str(), 1);
        else
            ::unsetenv(kVariable);
        ::close(mFd);
    }
    PeriodSetting(const PeriodSetting&) = delete;
    PeriodSetting& operator=(const PeriodSetting&) = delete;

private:
    static constexpr const char* kVariable = "ALSOFT_CONF";
    std::optional<std::string> mSaved;
    int mFd = -1;
};

} // namespace

ALCdevice* OpenDefaultOutput() {
    static bool settingsGiven = false;
    if (!settingsGiven) {
        settingsGiven = true;
        PeriodSetting setting;
        return alcOpenDevice(nullptr);
    }
    return alcOpenDevice(nullptr);
}

ALCcontext* CreateOutputContext(ALCdevice* device) {
    return alcCreateContext(device, nullptr);
}

} // namespace k58::openal
