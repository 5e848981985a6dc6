#include "sim/VirtualCamera.h"

#include <algorithm>

#include "sim/SampleFlow.h"

namespace sim {

VirtualCamera& VirtualCamera::Instance() {
    static VirtualCamera camera;
    return camera;
}

VirtualCamera::VirtualCamera() { Reset(); }

void VirtualCamera::Reset() {
    auto lock = Lock();
    m_state = CameraDeviceState{};
    m_seeded = false;
    m_frameIndex = 0;
}

void VirtualCamera::Attach(CameraMake make) {
    auto lock = Lock();
    m_state.identity.make = make;
    m_state.identity.attached = true;
    m_state.open = false;
    m_state.streaming = false;
    m_state.parameters = CameraParameters{};
    if (make == CameraMake::Pixelink) {
        // PixeLINK cameras come up in 8-bit output.
        m_state.parameters.pixelBits = 8;
        m_state.parameters.pixelinkFormat = 0;
    }
}

bool VirtualCamera::IsPresent(CameraMake make) {
    const bool powered = VirtualInstrument::Instance().Snapshot().powered;
    auto lock = Lock();
    return powered && m_state.identity.attached && m_state.identity.make == make;
}

void VirtualCamera::RenderFrame(std::vector<uint16_t>* samples, int* width, int* height, int* bits) {
    {
        // The sample moves with what the pumps have pushed so far.
        auto lock = VirtualInstrument::Instance().Lock();
        SampleFlow::Instance().Apply(VirtualInstrument::Instance().State());
    }
    InstrumentState instrument = VirtualInstrument::Instance().Snapshot();
    SceneView view;
    SceneExposure exposure;
    int decimation = 1;
    {
        auto lock = Lock();
        const CameraIdentity& id = m_state.identity;
        const CameraParameters& p = m_state.parameters;
        view.sensorWidth = id.sensorWidth;
        view.sensorHeight = id.sensorHeight;
        view.left = p.left;
        view.top = p.top;
        view.width = std::max(0, std::min(p.width, id.sensorWidth - p.left));
        view.height = std::max(0, std::min(p.height, id.sensorHeight - p.top));
        exposure.exposureUs = p.exposureUs;
        exposure.gain = p.gain;
        exposure.bits = p.pixelBits;
        decimation = std::max(1, p.decimation);
        if (!m_seeded || m_seed != instrument.seed) {
            m_seed = instrument.seed;
            m_seeded = true;
            m_frameIndex = 0;
        }
        exposure.noiseKey = m_seed * 0x9E3779B97F4A7C15ull + m_frameIndex++;
    }
    for (int led = 0; led < 4; ++led) {
        if (instrument.digitalLines[static_cast<size_t>(led + 3)]) view.ledMask |= 1u << led;
    }
    view.defocusMm = instrument.stageFocusMm - instrument.focusBestMm;
    view.sample = &instrument.sample;

    samples->resize(static_cast<size_t>(view.width) * static_cast<size_t>(view.height));
    m_renderer.Render(view, exposure, samples->data());
    *bits = exposure.bits;
    *width = view.width / decimation;
    *height = view.height / decimation;
    if (decimation > 1) {
        for (int y = 0; y < *height; ++y) {
            for (int x = 0; x < *width; ++x) {
                (*samples)[static_cast<size_t>(y) * static_cast<size_t>(*width) + static_cast<size_t>(x)] =
                    (*samples)[static_cast<size_t>(y * decimation) * static_cast<size_t>(view.width) +
                               static_cast<size_t>(x * decimation)];
            }
        }
        samples->resize(static_cast<size_t>(*width) * static_cast<size_t>(*height));
    }
}

}  // namespace sim
