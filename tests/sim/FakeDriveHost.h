// A scriptable stand-in for the main window: a cursor, a width, captions,
// action states, a beat timer that stores negative requests as 0, recorded
// sounds, pumps and sleeps, and a list of components to shake.
#pragma once

#include "sim/DriveHost.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace k58::test {

class FakeDriveHost : public TDriveHost {
public:
    struct Component {
        bool control = true;
        std::int32_t left = 0;
        std::int32_t top = 0;
    };

    std::int32_t cursorX = 0;
    std::int32_t width = 600;
    std::map<TDriveLabel, std::string> captions;
    std::map<TLeverAction, bool> enabled;
    std::uint32_t beatInterval = 1000;
    std::vector<int> played;
    std::map<int, std::int32_t> frequency;
    int draws = 0;
    int pumps = 0;
    std::uint32_t slept = 0;
    int intervalLowerings = 0;
    std::vector<Component> components = std::vector<Component>(28);
    std::int32_t windowLeft = 273;
    std::int32_t windowTop = 229;
    std::uint32_t seed = 12345;
    // Runs inside PumpMessages, to let nested handlers run as they would.
    std::function<void()> onPump;
    // What the model did, in order: "play 3", "pump", "sleep 20",
    // "interval 990", "seed 12345", "left 4 103", "top 4 52", "window left
    // 271", "window top 230".
    std::vector<std::string> log;

    std::int32_t CursorClientX() override { return cursorX; }
    std::int32_t WindowWidth() override { return width; }
    void SetCaption(TDriveLabel label, const std::string& text) override { captions[label] = text; }
    void SetActionEnabled(TLeverAction action, bool value) override { enabled[action] = value; }
    std::uint32_t BeatInterval() override { return beatInterval; }
    void SetBeatInterval(std::int32_t ms) override {
        if (ms == static_cast<std::int32_t>(beatInterval) - 10)
            ++intervalLowerings;
        beatInterval = ms < 0 ? 0u : static_cast<std::uint32_t>(ms);
        Log("interval", ms);
    }
    void PlaySound(int item) override {
        played.push_back(item);
        Log("play", item);
    }
    void SetSoundFrequency(int item, std::int32_t hz) override { frequency[item] = hz; }
    void DrawInstruments() override { ++draws; }
    void PumpMessages() override {
        ++pumps;
        log.emplace_back("pump");
        if (onPump) {
            auto pump = onPump;
            pump();
        }
    }
    void Sleep(std::uint32_t ms) override {
        slept += ms;
        Log("sleep", static_cast<std::int64_t>(ms));
    }
    int ComponentCount() override { return static_cast<int>(components.size()); }
    bool IsControl(int i) override { return components.at(i).control; }
    std::int32_t ControlLeft(int i) override { return components.at(i).left; }
    std::int32_t ControlTop(int i) override { return components.at(i).top; }
    void SetControlLeft(int i, std::int32_t v) override {
        components.at(i).left = v;
        Log("left " + std::to_string(i), v);
    }
    void SetControlTop(int i, std::int32_t v) override {
        components.at(i).top = v;
        Log("top " + std::to_string(i), v);
    }
    std::int32_t WindowLeft() override { return windowLeft; }
    std::int32_t WindowTop() override { return windowTop; }
    void SetWindowLeft(std::int32_t v) override {
        windowLeft = v;
        Log("window left", v);
    }
    void SetWindowTop(std::int32_t v) override {
        windowTop = v;
        Log("window top", v);
    }
    std::uint32_t ClockForSeed() override {
        Log("seed", seed);
        return seed++;
    }

private:
    void Log(const std::string& what, std::int64_t value) {
        log.push_back(what + " " + std::to_string(value));
    }
};

} // namespace k58::test
