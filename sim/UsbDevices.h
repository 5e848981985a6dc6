#pragma once

// The USB devices the virtual instrument puts on the computer's bus, and the
// report our USB lister writes of them.
//
// The lister runs as its own process, so the list travels through a small
// file: one device per line, "description<TAB>device type". Its path is
// VELLORA_VIRTUAL_USB_DEVICES when set, else "virtual_usb_devices.txt" in the
// program-data folder. Without the file the lister reports a powered
// instrument with a Basler-make camera.

#include <string>
#include <vector>

namespace sim {

struct UsbDevice {
    std::string description;
    std::string deviceType;
};

// The computer's own devices, always present.
std::vector<UsbDevice> ComputerUsbDevices();
// A powered instrument with a Basler-make camera, as the lister reports it
// when no device list was written.
std::vector<UsbDevice> DefaultUsbDevices();
// The computer's devices plus, when the instrument is powered, its hub, its
// digital I/O device and an attached camera.
std::vector<UsbDevice> CurrentUsbDevices();

std::string UsbDeviceListPath();
bool WriteUsbDeviceList(const std::vector<UsbDevice>& devices, const std::string& path = UsbDeviceListPath());
// Writes the current devices of the virtual instrument for the lister.
bool PublishUsbDevices();
// False when the file cannot be read.
bool ReadUsbDeviceList(const std::string& path, std::vector<UsbDevice>* devices);

// The lister's text report: one block of "name : value" lines per device.
std::string FormatUsbReport(const std::vector<UsbDevice>& devices);

}  // namespace sim
