// The configuration files of OpenAL Soft: which ones it reads, and whether
// the user set the mixing period in one of them.
#pragma once

#include <string>
#include <vector>

namespace k58::openal {

// The system's own configuration file of OpenAL Soft.
inline constexpr const char* kSystemConfig = "/etc/openal/alsoft.conf";

// The configuration files OpenAL Soft 1.19 reads, in its order: the system's
// and the user's files, then the one ALSOFT_CONF names (read last, so it
// wins).
struct ConfigSources {
    std::vector<std::string> before;
    std::string named; // empty when ALSOFT_CONF is not set
    // As this process's environment gives them.
    static ConfigSources OfThisProcess();
};

// Whether a configuration text sets period_size for the default device
// (in [general], or before any section).
bool SetsPeriod(const std::string& text);
// Whether any of the files does.
bool SetsPeriod(const ConfigSources& sources);
// A configuration that sets the period to frames, followed by the user's own
// ALSOFT_CONF file.
std::string PeriodSettingText(const ConfigSources& sources, int frames);

} // namespace k58::openal
