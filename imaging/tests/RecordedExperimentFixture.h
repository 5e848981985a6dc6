#pragma once

// Records an experiment on the virtual instrument, as an operator's run would:
// the pumps (behind their serial line, moving in the test clock's time) push a
// sample plug through the channel while the experiment workflow captures a
// frame every period, files it with its XMP tags and writes the capture log.
// The analyses of a recorded experiment then run on the folder, and the test
// compares what they find with where the virtual instrument put the menisci
// and the split line (RecordedExperiment::truth).
//
// The data root holds the files the installation supplies (the split-line
// and meniscus templates among them); the main settings file carries the
// calibration and the channel rows of the virtual camera, so the experiment's
// copy of it does too.

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/ImageCaptureLogHeader.h"
#include "app/SuppliedFiles.h"
#include "devices/TecanCentris.h"
#include "imaging/ImageCaptureWorkflow.h"
#include "imaging/tests/CaptureTestSupport.h"
#include "sim/CameraScene.h"
#include "sim/PumpSimulator.h"
#include "sim/SampleFlow.h"
#include "support/SerialPort.h"

namespace recordedtest {

// The virtual camera's channel: rows of liquid between the two walls.
inline sim::ChannelGeometry Walls() { return sim::ChannelGeometry::ForSensorHeight(2048); }
inline int ChannelFirstRow() { return Walls().upperWallBottom; }
inline int ChannelLastRow() { return Walls().lowerWallTop - 1; }

// 1 ul of the two pumps moves the liquid a quarter millimetre; the virtual
// plug is made to match the calibration below.
constexpr double kPixelsPerMm = 400;
constexpr double kPixelsPerUl = kPixelsPerMm / 4;

struct RecordingPlan {
    std::string name = "SampleFlow";
    int framesBeforeFlow = 2;  // the pumps stand still: the reference frames
    int flowingFrames = 20;
    double pump1UlPerMin = 54;
    double pump2UlPerMin = 36;
    int periodMs = 2000;
    int brightFieldExposureUs = 10000;
    bool fluorescence = false;  // also capture "Ex474" (green) frames
    int fluorescenceExposureUs = 200000;
    std::string cartridgeBarcode = "410-000-0001";
    sim::SamplePlug plug = [] {
        sim::SamplePlug p;
        p.seed = 7;
        p.inletColumn = -50;
        p.pixelsPerUl = kPixelsPerUl;
        p.volumeUl = 30;
        p.cellsPerUl = 3;
        return p;
    }();
};

// Where the virtual instrument put things in one bright-field frame, in the
// columns of the filed image (the camera mirrors left to right).
struct FrameTruth {
    std::string brightFieldFile;
    double leadColumn = 0;
    double trailColumn = 0;
    double splitRow = -1;
    bool leadVisible() const { return leadColumn >= 0 && leadColumn < 2448; }
    bool trailVisible() const { return trailColumn >= 0 && trailColumn < 2448; }
};

struct RecordedExperiment {
    std::filesystem::path folder;
    std::filesystem::path settingsFile;
    std::vector<FrameTruth> truth;  // one per capture index
};

constexpr int kPumpPort = 5;

class RecordedExperimentFixture : public capturetest::VirtualCaptureTest {
protected:
    void SetUp() override {
        VirtualCaptureTest::SetUp();
        otherSections += "[CalibrationSettings]\r\nimage_pixels_per_mm=400\r\n[Cartridge]\r\nCartridgeUpperChannel=" +
                         std::to_string(ChannelFirstRow()) +
                         "\r\nCartridgeLowerChannel=" + std::to_string(ChannelLastRow()) + "\r\n";
        std::string installError;
        ASSERT_TRUE(InstallMissingDataRootFiles(root.c_str(), &installError)) << installError;
        pumps = std::make_unique<sim::PumpSimulator>();
        pumps->SetSpeedFactor(0);  // set-up moves finish at once
        ASSERT_TRUE(pumps->Start(kPumpPort));
        Tovanix::String error;
        ASSERT_TRUE(SetupSerialPort(kPumpPort, 9600, &error)) << error.c_str();
        for (int pump = 1; pump <= 2; ++pump) {
            ASSERT_TRUE(TecanCentris::InitializeSyringePump(kPumpPort, pump, &error)) << error.c_str();
            ASSERT_TRUE(TecanCentris::Aspirate_ul(kPumpPort, pump, 625, &error)) << error.c_str();
        }
        theApp.m_nPumpComPort = kPumpPort;
        g_PumpValveState[0] = g_PumpValveState[1] = ' ';
    }
    void TearDown() override {
        sim::SampleFlow::Instance().Unload();
        theApp.m_nPumpComPort = 0;
        theApp.m_bWorkflowRunning = false;
        ReleaseSerialPort(kPumpPort);
        pumps.reset();
        VirtualCaptureTest::TearDown();
    }

    // The settings keys of a recording with bright field (and green).
    static std::string ImageTypeKeys(const RecordingPlan& plan) {
        std::string keys = "IsActive1=TRUE\r\nImageTypeName1=Brightfield\r\nImageTypeExposure1=" +
                           std::to_string(plan.brightFieldExposureUs) + "\r\n";
        if (plan.fluorescence) {
            keys += "IsActive2=TRUE\r\nImageTypeName2=Ex474\r\nImageTypeExposure2=" +
                    std::to_string(plan.fluorescenceExposureUs) + "\r\n";
        }
        return keys;
    }

    // Makes the pumps publish where their plungers are at the clock's time,
    // so the next frame shows the plug there.
    static void SettlePumps() {
        for (int pump = 1; pump <= 2; ++pump) {
            double volume = 0;
            Tovanix::String error;
            ASSERT_TRUE(TecanCentris::QueryDouble(kPumpPort, pump, "?18", &volume, &error)) << error.c_str();
        }
    }

    void CaptureStep(int index, RecordedExperiment& recorded, const RecordingPlan& plan) {
        SettlePumps();
        CString error;
        ASSERT_TRUE(RunImageCaptureWorkflowStep(index, error, nullptr)) << error.GetString();
        const sim::SampleContent sample = sim::VirtualInstrument::Instance().Snapshot().sample;
        FrameTruth truth;
        char name[160];
        std::snprintf(name, sizeof name, "%s_Brightfield_%04d.png", recorded.folder.filename().string().c_str(),
                      index);
        truth.brightFieldFile = name;
        truth.leadColumn = 2447 - sample.leadMeniscusColumn;
        truth.trailColumn = 2447 - sample.trailMeniscusColumn;
        truth.splitRow = sample.splitLineRow;
        recorded.truth.push_back(truth);
        clock.Advance(std::chrono::milliseconds(plan.periodMs));
    }

    // Records the plan's experiment; the capture log is on disk afterwards.
    RecordedExperiment Record(const RecordingPlan& plan = RecordingPlan()) {
        RecordedExperiment recorded;
        Record(plan, recorded);
        return recorded;
    }

    std::unique_ptr<sim::PumpSimulator> pumps;

private:
    void Record(const RecordingPlan& plan, RecordedExperiment& recorded) {
        WriteSettings("DataDirectory=" + (root / "Data").string() + "\r\nCreateDailySubDirectory=FALSE\r\n" +
                      ImageTypeKeys(plan));
        CString error;
        ASSERT_TRUE(CreateNewExperiment(plan.name.c_str(), error)) << error.GetString();
        for (const auto& entry : std::filesystem::directory_iterator(root / "Data")) {
            if (entry.path().filename().string().find(plan.name) != std::string::npos) recorded.folder = entry.path();
        }
        ASSERT_FALSE(recorded.folder.empty());
        recorded.settingsFile = recorded.folder / "ExperimentSettings.ini";

        // The run's script names the cartridge in the log's header.
        CreateImageCaptureLogHeaderSemaphore();
        QueueImageCaptureLogHeaderLine(("Cartridge barcode " + plan.cartridgeBarcode).c_str());

        sim::SampleFlow::Instance().Load(plan.plug);
        Tovanix::String pumpError;
        for (int pump = 1; pump <= 2; ++pump) {
            ASSERT_TRUE(TecanCentris::SetValveOutput(kPumpPort, pump, &pumpError)) << pumpError.c_str();
        }
        ASSERT_TRUE(TecanCentris::SetTopSpeed(kPumpPort, 1, plan.pump1UlPerMin, &pumpError)) << pumpError.c_str();
        ASSERT_TRUE(TecanCentris::SetTopSpeed(kPumpPort, 2, plan.pump2UlPerMin, &pumpError)) << pumpError.c_str();
        pumps->SetSpeedFactor(1);  // from here on the pumps move in the clock's time

        theApp.m_bWorkflowRunning = true;
        int index = 0;
        for (; index < plan.framesBeforeFlow; ++index) {
            CaptureStep(index, recorded, plan);
            if (HasFatalFailure()) return;
        }
        // Both pumps dispense for longer than the recording lasts.
        const double seconds = (plan.flowingFrames + 2) * plan.periodMs / 1000.0;
        ASSERT_TRUE(TecanCentris::Dispense_ul(kPumpPort, 1, plan.pump1UlPerMin * seconds / 60, &pumpError))
            << pumpError.c_str();
        ASSERT_TRUE(TecanCentris::Dispense_ul(kPumpPort, 2, plan.pump2UlPerMin * seconds / 60, &pumpError))
            << pumpError.c_str();
        clock.Advance(std::chrono::milliseconds(plan.periodMs));
        for (int flowing = 0; flowing < plan.flowingFrames; ++flowing, ++index) {
            CaptureStep(index, recorded, plan);
            if (HasFatalFailure()) return;
        }
        theApp.m_bWorkflowRunning = false;
        const std::string log = (recorded.folder / (recorded.folder.filename().string() + ".log")).string();
        Tovanix::String logError;
        CachedLogging::Release(log.c_str(), &logError);
    }
};

}  // namespace recordedtest
