// The port table as discovery uses it: every COM number from 1 to 99 looked
// up once, with a port table file of 20,000 lines (about 500 KB). The file is
// parsed only when it changes, so a pass costs 99 small lookups, not 99 reads.

#include "platform/PortTable.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

struct PortsFile {
    std::string dir;

    PortsFile() {
        char pattern[] = "/tmp/vellora-ports-bench-XXXXXX";
        dir = mkdtemp(pattern);
        setenv("VELLORA_PROGRAM_DATA", dir.c_str(), 1);
        unsetenv("VELLORA_COM_PORTS");
        std::ofstream file(dir + "/ComPorts.ini", std::ios::binary);
        file << "[Ports]\r\n";
        for (int line = 0; line < 20000; ++line) {
            file << "; spare line " << line << " of the instrument computer's serial adapters\r\n";
        }
        for (int port = 1; port <= 99; port += 7) file << "COM" << port << "=/dev/ttyUSB" << port << "\r\n";
    }
    ~PortsFile() { std::filesystem::remove_all(dir); }
};

void BM_DiscoveryScanOfCom1To99(benchmark::State& state) {
    static PortsFile file;
    for (auto _ : state) {
        for (int port = 1; port <= 99; ++port) benchmark::DoNotOptimize(platform::ComPortDevicePath(port));
    }
}
BENCHMARK(BM_DiscoveryScanOfCom1To99)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
