#include "sim/VirtualInstrument.h"

namespace sim {

VirtualInstrument& VirtualInstrument::Instance() {
    static VirtualInstrument instrument;
    return instrument;
}

}  // namespace sim
