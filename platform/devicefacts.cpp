#include "platform/devicefacts.h"

#include <libudev.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace win::iphelper {

namespace {

std::string Text(const char* value) {
    return value != nullptr ? std::string(value) : std::string();
}

bool Equal(const char* a, const char* b) {
    return a != nullptr && b != nullptr && std::strcmp(a, b) == 0;
}

// The address as sysfs shows it: lower-case hexadecimal bytes separated by colons.
std::string AddressText(const std::uint8_t* address, std::size_t length) {
    std::string text;
    char byte[4];
    for (std::size_t i = 0; i < length; ++i) {
        std::snprintf(byte, sizeof byte, i == 0 ? "%02x" : ":%02x", address[i]);
        text += byte;
    }
    return text;
}

bool SameInterface(udev_device* device, int index, const std::uint8_t* address,
                   std::size_t addressLength) {
    const char* deviceIndex = udev_device_get_sysattr_value(device, "ifindex");
    if (deviceIndex == nullptr || std::atoi(deviceIndex) != index) {
        return false;
    }
    if (addressLength == 0) {
        return true;
    }
    return Text(udev_device_get_sysattr_value(device, "address")) ==
           AddressText(address, addressLength);
}

std::string OwnModel(udev_device* device) {
    if (const char* model = udev_device_get_property_value(device, "ID_MODEL_FROM_DATABASE")) {
        return model;
    }
    return Text(udev_device_get_property_value(device, "ID_MODEL"));
}

// The bus whose hardware database names the interface's hardware: USB when the device sits
// on one (its host controller's PCI entry would name the controller), else PCI.
const char* HardwareBus(udev_device* device) {
    bool pci = false;
    for (udev_device* d = device; d != nullptr; d = udev_device_get_parent(d)) {
        const char* subsystem = udev_device_get_subsystem(d);
        if (Equal(subsystem, "usb")) {
            return "usb";
        }
        pci = pci || Equal(subsystem, "pci");
    }
    return pci ? "pci" : nullptr;
}

}  // namespace

DeviceFactsSource::~DeviceFactsSource() {
    if (m_hwdb != nullptr) {
        udev_hwdb_unref(m_hwdb);
    }
    if (m_udev != nullptr) {
        udev_unref(m_udev);
    }
}

bool DeviceFactsSource::Open() {
    if (!m_opened) {
        m_opened = true;
        m_udev = udev_new();
        if (m_udev != nullptr) {
            m_hwdb = udev_hwdb_new(m_udev);  // none on a system without the compiled database
        }
    }
    return m_udev != nullptr;
}

std::string DeviceFactsSource::HardwareDatabaseModel(const char* modalias) {
    if (m_hwdb == nullptr) {
        return {};
    }
    udev_list_entry* entry = udev_hwdb_get_properties_list_entry(m_hwdb, modalias, 0);
    for (; entry != nullptr; entry = udev_list_entry_get_next(entry)) {
        if (Equal(udev_list_entry_get_name(entry), "ID_MODEL_FROM_DATABASE")) {
            return Text(udev_list_entry_get_value(entry));
        }
    }
    return {};
}

DeviceFacts DeviceFactsSource::Lookup(const std::string& name, int index,
                                      const std::uint8_t* address, std::size_t addressLength) {
    DeviceFacts facts;
    if (!Open()) {
        return facts;
    }
    udev_device* device = udev_device_new_from_subsystem_sysname(m_udev, "net", name.c_str());
    if (device == nullptr) {
        return facts;
    }
    if (SameInterface(device, index, address, addressLength)) {
        facts.wireless = Equal(udev_device_get_devtype(device), "wlan");
        facts.model = OwnModel(device);
        // The parents belong to the device and go with it.
        udev_device* parent = udev_device_get_parent(device);
        if (parent != nullptr) {
            facts.driver = Text(udev_device_get_driver(parent));
        }
        if (const char* bus = facts.model.empty() ? HardwareBus(parent) : nullptr) {
            for (udev_device* d = parent; d != nullptr && facts.model.empty();
                 d = udev_device_get_parent(d)) {
                if (!Equal(udev_device_get_subsystem(d), bus)) {
                    continue;
                }
                facts.model = OwnModel(d);
                const char* modalias = udev_device_get_sysattr_value(d, "modalias");
                if (facts.model.empty() && modalias != nullptr) {
                    facts.model = HardwareDatabaseModel(modalias);
                }
            }
        }
    }
    udev_device_unref(device);
    return facts;
}

}  // namespace win::iphelper
