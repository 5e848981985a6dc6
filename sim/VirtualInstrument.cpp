#include "sim/VirtualInstrument.h"

namespace sim {

VirtualInstrument& VirtualInstrument::Instance() {
    static VirtualInstrument instrument;
    return instrument;
}

void VirtualInstrument::SetPowered(bool on) {
    // One switch at a time, so observers see the changes in order.
    std::lock_guard<std::mutex> observers(m_observerMutex);
    {
        auto lock = Lock();
        if (m_state.powered == on) return;
        m_state.powered = on;
    }
    for (const auto& [id, observer] : m_powerObservers) observer(on);
}

bool VirtualInstrument::Powered() {
    auto lock = Lock();
    return m_state.powered;
}

int VirtualInstrument::AddPowerObserver(std::function<void(bool)> observer) {
    std::lock_guard<std::mutex> lock(m_observerMutex);
    const int id = m_nextObserver++;
    m_powerObservers[id] = std::move(observer);
    return id;
}

void VirtualInstrument::RemovePowerObserver(int id) {
    std::lock_guard<std::mutex> lock(m_observerMutex);
    m_powerObservers.erase(id);
}

}  // namespace sim
