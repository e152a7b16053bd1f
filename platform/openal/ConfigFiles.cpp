#include "platform/openal/ConfigFiles.h"

#include <strings.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace k58::openal {
namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream file(path);
    std::stringstream content;
    content << file.rdbuf();
    return content.str();
}

std::string Trim(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return {};
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

// OpenAL Soft also reads alsoft.conf beside the program.
std::string ProgramDirectory() {
    char path[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof(path) - 1);
    if (length <= 0)
        return {};
    std::string exe(path, static_cast<std::size_t>(length));
    return exe.substr(0, exe.rfind('/'));
}

} // namespace

ConfigSources ConfigSources::OfThisProcess() {
    const auto variable = [](const char* name) -> std::string {
        const char* value = std::getenv(name);
        return value != nullptr ? std::string(value) : std::string();
    };
    ConfigSources sources;
    sources.before.push_back(kSystemConfig);
    std::string dirs = variable("XDG_CONFIG_DIRS");
    if (dirs.empty())
        dirs = "/etc/xdg";
    std::stringstream list(dirs);
    for (std::string dir; std::getline(list, dir, ':');) {
        // OpenAL skips entries that are not absolute paths.
        if (!dir.empty() && dir.front() == '/')
            sources.before.push_back(dir + "/alsoft.conf");
    }
    const std::string home = variable("HOME");
    if (!home.empty())
        sources.before.push_back(home + "/.alsoftrc");
    const std::string configHome = variable("XDG_CONFIG_HOME");
    if (!configHome.empty())
        sources.before.push_back(configHome + "/alsoft.conf");
    else if (!home.empty())
        sources.before.push_back(home + "/.config/alsoft.conf");
    const std::string program = ProgramDirectory();
    if (!program.empty())
        sources.before.push_back(program + "/alsoft.conf");
    sources.named = variable("ALSOFT_CONF");
    return sources;
}

bool SetsPeriod(const std::string& text) {
    std::stringstream lines(text);
    bool general = true; // keys before any section belong to [general]
    for (std::string line; std::getline(lines, line);) {
        line = Trim(line.substr(0, line.find('#')));
        if (line.empty())
            continue;
        if (line.front() == '[') {
            const auto end = line.find(']');
            // OpenAL compares section names ignoring case.
            general =
                ::strcasecmp(Trim(line.substr(1, end == std::string::npos ? end : end - 1)).c_str(),
                             "general") == 0;
            continue;
        }
        const auto equals = line.find('=');
        if (general && equals != std::string::npos && Trim(line.substr(0, equals)) == "period_size")
            return true;
    }
    return false;
}

bool SetsPeriod(const ConfigSources& sources) {
    for (const std::string& path : sources.before) {
        if (SetsPeriod(ReadFile(path)))
            return true;
    }
    return !sources.named.empty() && SetsPeriod(ReadFile(sources.named));
}

std::string PeriodSettingText(const ConfigSources& sources, int frames) {
    std::string text = "[general]\nperiod_size = " + std::to_string(frames) + "\n";
    if (!sources.named.empty())
        text += "\n" + ReadFile(sources.named) + "\n";
    return text;
}

} // namespace k58::openal
