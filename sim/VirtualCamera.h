#pragma once

// The virtual instrument's camera: one device of either make, seen by the
// program through the camera libraries' layers (sim/VirtualPylon.cpp,
// sim/VirtualPixelink.cpp). It holds the device's identity, its parameters as
// the libraries set them, and the faults a test wants it to show; its frames
// come from the scene renderer and follow the instrument's shared state (LEDs,
// stage focus, sample, seed).
//
// Device state is read and written under Lock(). Tests call Reset() first.

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "sim/CameraScene.h"

namespace sim {

enum class CameraMake { Basler, Pixelink };

// What the camera is; fixed while it is attached.
struct CameraIdentity {
    CameraMake make = CameraMake::Basler;
    bool attached = true;  // on the USB bus while the instrument is powered
    std::string modelName = "acA2440-35um";
    std::string serialNumber = "24015833";
    std::string pixelinkName = "PL-D7512MU";
    double temperatureC = 41.5;
    int sensorWidth = 2448;
    int sensorHeight = 2048;
    // Version of the standard feature naming convention (Basler make).
    unsigned sfncMajor = 2, sfncMinor = 1, sfncSubminor = 0;
};

// Faults the camera shows until a test clears them. Counts are used up one
// per event; -1 means every time.
struct CameraFaults {
    bool failOpen = false;         // opening the device raises an error
    int grabTimeouts = 0;          // grabs that deliver nothing in time
    int failedGrabs = 0;           // grabs whose result reports a failure
    int failedInitializations = 0; // PixeLINK: initialisations refused
    int failedFrameFetches = 0;    // PixeLINK: frame fetches refused
};

// Parameters as the camera libraries set them.
struct CameraParameters {
    int left = 0, top = 0;
    int width = 2448, height = 2048;
    int decimation = 1;            // PixeLINK pixel addressing value
    int pixelBits = 12;            // sample depth of the output format
    bool packedSamples = false;    // Basler: "Mono12Packed", two 12-bit samples in three bytes
    uint32_t pixelinkFormat = 13;  // PixeLINK pixel format code
    double exposureUs = 10000;
    double gain = 1.0;
    bool gainAuto = true, exposureAuto = true;
    float trigger[5] = {0, 0, 0, 0, 0};
    // Basler digital lines 1..4 (index 0..3), user outputs 1..3 (index 0..2).
    bool lineIsOutput[4] = {false, false, false, false};
    int lineSource[4] = {0, 0, 0, 0};  // 0 off, k: user output k
    bool userOutput[3] = {false, false, false};
    int lineSelector = 0;
    int userOutputSelector = 0;
};

// What the program did to the camera, for tests.
struct CameraCounters {
    int opens = 0;
    int closes = 0;
    int grabs = 0;           // frames delivered
    int streamStarts = 0;
    int streamStops = 0;
    int frameFetches = 0;    // PixeLINK fetch calls
    int initializations = 0; // PixeLINK initialisation calls
    int parameterWrites = 0;
};

struct CameraDeviceState {
    CameraIdentity identity;
    CameraFaults faults;
    CameraParameters parameters;
    CameraCounters counters;
    bool open = false;       // opened by a library (one user at a time)
    bool streaming = false;  // PixeLINK stream state
};

class VirtualCamera {
public:
    static VirtualCamera& Instance();

    // Back to a powered-up Basler camera with default parameters, no faults
    // and zero counters.
    void Reset();
    // Attaches a camera of the given make with that make's defaults.
    void Attach(CameraMake make);

    std::unique_lock<std::mutex> Lock() { return std::unique_lock<std::mutex>(m_mutex); }
    // Only under Lock().
    CameraDeviceState& State() { return m_state; }
    CameraDeviceState Snapshot() {
        auto lock = Lock();
        return m_state;
    }

    // True when a camera of the make is on the bus: attached and the
    // instrument powered.
    bool IsPresent(CameraMake make);

    // Renders one frame of the current read-out region (after decimation) at
    // the current sample depth; the samples are not shifted. Each call draws
    // new noise; a new seed in the instrument's state restarts the sequence,
    // so the same seed gives the same frames.
    void RenderFrame(std::vector<uint16_t>* samples, int* width, int* height, int* bits);

private:
    VirtualCamera();

    std::mutex m_mutex;
    CameraDeviceState m_state;
    SceneRenderer m_renderer;
    uint64_t m_seed = 0;
    uint64_t m_frameIndex = 0;
    bool m_seeded = false;
};

}  // namespace sim
