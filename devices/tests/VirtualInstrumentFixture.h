#pragma once

// Test fixture: a fresh virtual instrument (camera, digital I/O device, shared
// state), a main settings file in the test's own folder, a manual clock and a
// scripted user-interface bridge.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "app/VelloraApp.h"
#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/Folders.h"
#include "platform/UiBridge.h"
#include "sim/VirtualCamera.h"
#include "sim/VirtualDaq.h"
#include "sim/VirtualInstrument.h"

class VirtualInstrumentTest : public ::testing::Test {
protected:
    void SetUp() override {
        sim::VirtualCamera::Instance().Reset();
        sim::VirtualDaq::Instance().Reset();
        {
            auto lock = sim::VirtualInstrument::Instance().Lock();
            sim::InstrumentState& state = sim::VirtualInstrument::Instance().State();
            state = sim::InstrumentState{};
            state.stageFocusMm = state.focusBestMm;
        }
        iniPath = platform::JoinPath(platform::PublicDocumentsFolder(), "Vellora.ini");
        WriteSettings("");
        g_IniPath = iniPath.c_str();
    }

    // Replaces the main settings file.
    void WriteSettings(const std::string& text) {
        ASSERT_TRUE(platform::WriteFileAtomically(iniPath, text.data(), text.size()));
    }
    std::string ReadSettings() {
        std::string text;
        platform::ReadWholeFile(iniPath, &text);
        return text;
    }

    static void SetLed(int led, bool on) {
        auto lock = sim::VirtualInstrument::Instance().Lock();
        sim::VirtualInstrument::Instance().State().digitalLines[static_cast<size_t>(3 + led)] = on;
    }
    static void SetSeed(uint64_t seed) {
        auto lock = sim::VirtualInstrument::Instance().Lock();
        sim::VirtualInstrument::Instance().State().seed = seed;
    }
    // The camera's own samples of the first frame of a seed's sequence, as
    // a grab after SetSeed(seed) delivered them (the sequence restarts
    // whenever the seed changes).
    static std::vector<uint16_t> DeviceSamplesOfSeed(uint64_t seed, int* width, int* height, int* bits) {
        std::vector<uint16_t> samples;
        SetSeed(seed + 1);
        sim::VirtualCamera::Instance().RenderFrame(&samples, width, height, bits);
        SetSeed(seed);
        sim::VirtualCamera::Instance().RenderFrame(&samples, width, height, bits);
        return samples;
    }
    static sim::CameraDeviceState Camera() { return sim::VirtualCamera::Instance().Snapshot(); }
    template <class Change>
    static void ChangeCamera(Change change) {
        auto lock = sim::VirtualCamera::Instance().Lock();
        change(sim::VirtualCamera::Instance().State());
    }

    std::string iniPath;
    platform::ManualClock clock;
    platform::ScopedClock useClock{clock};
    platform::ScriptedUiBridge ui;
    platform::ScopedUiBridge useUi{ui};
};
