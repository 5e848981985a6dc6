#include "sim/UsbDevices.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "platform/Files.h"
#include "platform/Folders.h"
#include "sim/VirtualCamera.h"
#include "sim/VirtualInstrument.h"

namespace sim {

namespace {

std::vector<UsbDevice> InstrumentUsbDevices() {
    return {{"Generic SuperSpeed USB Hub", "Hub"}, {"NI USB-6001", "Vendor Specific"}};
}

UsbDevice DefaultCamera() { return {"Basler acA2440-35um", "Vendor Specific"}; }

}  // namespace

std::vector<UsbDevice> ComputerUsbDevices() {
    return {{"USB Root Hub (USB 3.0)", "Hub"},
            {"Generic USB Hub", "Hub"},
            {"USB Composite Device", "Unknown"},
            {"USB Input Device", "HID (Human Interface Device)"}};
}

std::vector<UsbDevice> DefaultUsbDevices() {
    std::vector<UsbDevice> devices = ComputerUsbDevices();
    for (auto& device : InstrumentUsbDevices()) devices.push_back(device);
    devices.push_back(DefaultCamera());
    return devices;
}

std::vector<UsbDevice> CurrentUsbDevices() {
    std::vector<UsbDevice> devices = ComputerUsbDevices();
    if (!VirtualInstrument::Instance().Snapshot().powered) return devices;
    for (auto& device : InstrumentUsbDevices()) devices.push_back(device);
    const CameraIdentity id = VirtualCamera::Instance().Snapshot().identity;
    if (id.attached) {
        devices.push_back(id.make == CameraMake::Pixelink ? UsbDevice{"PixeLINK " + id.pixelinkName, "Vendor Specific"}
                                                          : UsbDevice{"Basler " + id.modelName, "Vendor Specific"});
    }
    return devices;
}

std::string UsbDeviceListPath() {
    if (const char* path = std::getenv("VELLORA_VIRTUAL_USB_DEVICES"); path && *path) return path;
    return platform::JoinPath(platform::ProgramDataFolder(), "virtual_usb_devices.txt");
}

bool WriteUsbDeviceList(const std::vector<UsbDevice>& devices, const std::string& path) {
    std::string text;
    for (const auto& device : devices) text += device.description + "\t" + device.deviceType + "\n";
    // The program-data folder does not exist yet on a new machine.
    std::error_code ec;
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (!folder.empty()) std::filesystem::create_directories(folder, ec);
    return platform::WriteFileAtomically(path, text.data(), text.size());
}

bool PublishUsbDevices() { return WriteUsbDeviceList(CurrentUsbDevices()); }

bool ReadUsbDeviceList(const std::string& path, std::vector<UsbDevice>* devices) {
    std::string text;
    if (!platform::ReadWholeFile(path, &text)) return false;
    devices->clear();
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) {
            const size_t tab = line.find('\t');
            devices->push_back(tab == std::string::npos ? UsbDevice{line, "Unknown"}
                                                        : UsbDevice{line.substr(0, tab), line.substr(tab + 1)});
        }
        start = end + 1;
    }
    return true;
}

std::string FormatUsbReport(const std::vector<UsbDevice>& devices) {
    std::string report;
    int port = 1;
    for (const auto& device : devices) {
        char name[64];
        std::snprintf(name, sizeof name, "Port_#%04d.Hub_#%04d", port, port / 4 + 1);
        ++port;
        report += "==================================================\r\n";
        report += "Device Name       : " + std::string(name) + "\r\n";
        report += "Description       : " + device.description + "\r\n";
        report += "Device Type       : " + device.deviceType + "\r\n";
        report += "Connected         : Yes\r\n";
        report += "Safe To Unplug    : Yes\r\n";
        report += "Driver Description: " + device.description + "\r\n";
        report += "==================================================\r\n\r\n";
    }
    return report;
}

}  // namespace sim
