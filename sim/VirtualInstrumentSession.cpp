#include "sim/VirtualInstrumentSession.h"

#include "sim/PumpSimulator.h"
#include "sim/StageSimulator.h"
#include "sim/UsbDevices.h"
#include "sim/VirtualInstrument.h"

namespace sim {

VirtualInstrumentSession::VirtualInstrumentSession()
    : m_pumps(std::make_unique<PumpSimulator>()), m_stage(std::make_unique<StageSimulator>()) {}

VirtualInstrumentSession::~VirtualInstrumentSession() { Stop(); }

bool VirtualInstrumentSession::Start(std::string* error) {
    std::string reason;
    if (!m_pumps->Start(kPumpComPort, &reason)) {
        if (error) *error = "Virtual pumps: " + reason;
        return false;
    }
    if (!m_stage->Start(kStageComPort, &reason)) {
        m_pumps->Stop();
        if (error) *error = "Virtual stage: " + reason;
        return false;
    }
    if (!PublishUsbDevices()) {
        Stop();
        if (error) *error = "Virtual instrument: cannot write the USB device list " + UsbDeviceListPath();
        return false;
    }
    // The instrument's hub and devices leave the bus with its power and come
    // back with it.
    m_powerObserver = VirtualInstrument::Instance().AddPowerObserver([](bool) { PublishUsbDevices(); });
    return true;
}

void VirtualInstrumentSession::Stop() {
    if (m_powerObserver != 0) {
        VirtualInstrument::Instance().RemovePowerObserver(m_powerObserver);
        m_powerObserver = 0;
    }
    m_stage->Stop();
    m_pumps->Stop();
}

}  // namespace sim
