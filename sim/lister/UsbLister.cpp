// Lists the USB devices of the virtual instrument's computer in the text
// report the instrument power probe reads:
//   <lister> /stext <report file> [/DisplayDisconnected 0]
// Exit code 0 when the report was written.

#include <cstdio>
#include <cstring>
#include <string>
#include <strings.h>
#include <vector>

#include "platform/Files.h"
#include "sim/UsbDevices.h"

int main(int argc, char** argv) {
    std::string reportPath;
    for (int i = 1; i < argc; ++i) {
        if (strcasecmp(argv[i], "/stext") == 0 && i + 1 < argc) {
            reportPath = argv[++i];
        } else if (strcasecmp(argv[i], "/DisplayDisconnected") == 0 && i + 1 < argc) {
            ++i;  // only connected devices are ever listed
        }
    }
    if (reportPath.empty()) {
        std::fprintf(stderr, "usage: %s /stext <report file> [/DisplayDisconnected 0]\n", argv[0]);
        return 2;
    }
    std::vector<sim::UsbDevice> devices;
    if (!sim::ReadUsbDeviceList(sim::UsbDeviceListPath(), &devices)) {
        devices = sim::DefaultUsbDevices();
    }
    const std::string report = sim::FormatUsbReport(devices);
    const std::string path = platform::NativePath(reportPath);
    if (!platform::WriteFileAtomically(path, report.data(), report.size())) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        return 1;
    }
    return 0;
}
