#pragma once

// The fluidic system at a glance: the eight lines of port 0 and the four of
// port 1 of the digital I/O device, and for both syringe pumps the configured
// volume, the displacement, the rate and the valve.
//
// A refresh asks the devices and updates what answered; whatever fails keeps
// its previous value, and nothing is reported. The pump part is one chain
// that stops at the first query that fails. A refresh takes the devices'
// own locks, so it runs on a thread of its own, never on the user-interface
// thread.

#include <cstdint>
#include <optional>
#include <string>

struct SystemStateFields {
    // The port bytes last read; none until a read succeeded.
    std::optional<uint8_t> port0;
    std::optional<uint8_t> port1;
    // Per pump (index 0 = pump 1): texts as the window shows them, empty
    // until a query answered.
    std::string configuredVolume[2];  // "?17", "%d"
    std::string displacement[2];      // "?18", "%lf"
    std::string rate[2];              // 60 x "?37", "%lf" (microlitres per minute)
    std::string valve[2];             // the reply to "?20"
};

// One refresh of `fields` from the devices; the pumps only when
// `pumpComPort` is not 0. The configured volumes are asked only while pump
// 1's is still unknown.
void RefreshSystemState(SystemStateFields& fields, int pumpComPort);

// Bit k of the byte, for the line boxes.
inline bool PortLine(uint8_t value, int line) { return ((value >> line) & 1) != 0; }
