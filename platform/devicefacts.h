// What the device manager knows of a network interface's hardware: the model name from the
// hardware database, the driver bound to the device and whether it is a wireless one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct udev;
struct udev_hwdb;

namespace win::iphelper {

struct DeviceFacts {
    std::string model;   // the hardware database's model name, or the device's own
    std::string driver;  // the driver bound to the device under the interface
    bool wireless = false;
};

// Looks interfaces up through libudev. The device tree read is the one of the mounted sysfs,
// which shows the network namespace it was mounted in: an interface is only taken to be the
// device of the same name when its index and hardware address agree as well, so an interface
// of another namespace that happens to share the name gets no facts rather than wrong ones.
// Not thread-safe: the owner serialises the calls.
class DeviceFactsSource {
public:
    DeviceFactsSource() = default;
    ~DeviceFactsSource();
    DeviceFactsSource(const DeviceFactsSource&) = delete;
    DeviceFactsSource& operator=(const DeviceFactsSource&) = delete;

    DeviceFacts Lookup(const std::string& name, int index, const std::uint8_t* address,
                       std::size_t addressLength);

private:
    bool Open();
    std::string HardwareDatabaseModel(const char* modalias);

    struct udev* m_udev = nullptr;
    struct udev_hwdb* m_hwdb = nullptr;
    bool m_opened = false;
};

}  // namespace win::iphelper
