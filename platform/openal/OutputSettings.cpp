#include "platform/openal/OutputSettings.h"

#include "platform/openal/ConfigFiles.h"

#include <AL/alext.h>

#include <dirent.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace k58::openal {
namespace {

// Whether this process has one thread only: then no other thread can read
// the environment while it is changed (a new thread could only come from
// this one).
bool SingleThreaded() {
    DIR* tasks = ::opendir("/proc/self/task");
    if (tasks == nullptr)
        return false;
    int count = 0;
    while (const dirent* entry = ::readdir(tasks)) {
        if (entry->d_name[0] != '.')
            ++count;
    }
    ::closedir(tasks);
    return count == 1;
}

// OpenAL Soft 1.19 ignores ALC_REFRESH and takes its mixing period only from
// its configuration files, which it reads once, at the first device call of
// the process, the file named by ALSOFT_CONF last. So the module names an
// in-memory file there, holding the period followed by the user's own
// ALSOFT_CONF file, before OpenAL reads them. The environment is changed
// only while the process has no other thread, once, when the module is
// loaded (the program loads it before it starts any thread), and never put
// back: editing it later would race with other threads that read it. A
// period the user set in any configuration file wins: then nothing is
// changed at all. Nothing is written to disk.
void ApplyPeriodSetting() {
    if (!SingleThreaded())
        return;
    const ConfigSources sources = ConfigSources::OfThisProcess();
    if (SetsPeriod(sources))
        return;
    const std::string text = PeriodSettingText(sources, kPeriodFrames);
    // Programs started from this one do not inherit it.
    const int fd = ::memfd_create("k58-openal-settings", MFD_CLOEXEC);
    if (fd < 0)
        return;
    if (::write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
        ::close(fd);
        return;
    }
    // Stays open for the life of the process: OpenAL reads it at its first
    // device call, whenever that comes.
    ::setenv("ALSOFT_CONF", ("/proc/self/fd/" + std::to_string(fd)).c_str(), 1);
}

__attribute__((constructor)) void ApplyPeriodSettingOnLoad() {
    ApplyPeriodSetting();
}

} // namespace

ALCdevice* OpenDefaultOutput() {
    return alcOpenDevice(nullptr);
}

ALCcontext* CreateOutputContext(ALCdevice* device) {
    // The platform filters nothing; OpenAL Soft would turn HRTF on by itself
    // on an output that reports headphones (a user's own hrtf setting still
    // wins).
    const ALCint attributes[] = {ALC_HRTF_SOFT, ALC_FALSE, 0};
    return alcCreateContext(device, attributes);
}

} // namespace k58::openal
