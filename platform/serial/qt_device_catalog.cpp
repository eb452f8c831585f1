#include "platform/serial/qt_device_catalog.h"

#include <QSerialPortInfo>

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "platform/serial/device_check.h"

namespace zelt {

namespace {

std::string hex4(quint16 id) {
    char text[8];
    std::snprintf(text, sizeof text, "%04x", static_cast<unsigned>(id));
    return text;
}

// Each link in the stable-name folder and the device file it leads to; dangling links are left out.
std::vector<std::pair<std::string, std::string>> stableLinks() {
    namespace fs = std::filesystem;
    std::vector<std::pair<std::string, std::string>> links;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(kStableNameFolder, error)) {
        const fs::path target = fs::canonical(entry.path(), error);
        if (!error) links.emplace_back(entry.path().string(), target.string());
    }
    return links;
}

}  // namespace

QtDeviceCatalog::QtDeviceCatalog(QObject* parent) : QObject(parent) {
    timer_.setInterval(kDeviceScanMs);
    connect(&timer_, &QTimer::timeout, this, &QtDeviceCatalog::compare);
}

std::vector<SerialDevice> QtDeviceCatalog::devices() { return watched() ? devices_ : scanSerialDevices(); }

bool QtDeviceCatalog::isPresent(const std::string& path) const { return pathPresent(path); }

void QtDeviceCatalog::watchingChanged(bool watching) {
    if (watching) {
        signature_ = deviceSignature();
        devices_ = scanSerialDevices();
        timer_.start();
    } else {
        timer_.stop();
        devices_.clear();
        signature_.clear();
    }
}

void QtDeviceCatalog::compare() {
    std::string signature = deviceSignature();
    if (signature == signature_) return;
    signature_ = std::move(signature);
    std::vector<SerialDevice> now = scanSerialDevices();
    if (now == devices_) return;
    devices_ = std::move(now);
    changed();
}

std::string deviceSignature() {
    namespace fs = std::filesystem;
    std::vector<std::string> names;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(kTerminalFolder, error))
        names.push_back(entry.path().filename().string());
    for (const auto& [link, target] : stableLinks()) names.push_back(link + ">" + target);
    std::sort(names.begin(), names.end());
    std::string signature;
    for (const std::string& name : names) signature += name + "\n";
    return signature;
}

std::vector<SerialDevice> scanSerialDevices() {
    std::vector<SerialDevice> devices;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        SerialDevice d;
        d.location = info.systemLocation().toStdString();
        d.description = info.description().toStdString();
        d.manufacturer = info.manufacturer().toStdString();
        d.serialNumber = info.serialNumber().toStdString();
        if (info.hasVendorIdentifier() && info.hasProductIdentifier())
            d.usbId = hex4(info.vendorIdentifier()) + ":" + hex4(info.productIdentifier());
        devices.push_back(std::move(d));
    }
    attachStableNames(devices, stableLinks());
    return devices;
}

void attachStableNames(std::vector<SerialDevice>& devices,
                       const std::vector<std::pair<std::string, std::string>>& links) {
    for (SerialDevice& d : devices) {
        d.stableName.clear();
        for (const auto& [link, target] : links) {
            // The first name in order, so that the choice does not depend on the folder's order.
            if (target == d.location && (d.stableName.empty() || link < d.stableName)) d.stableName = link;
        }
    }
    std::sort(devices.begin(), devices.end(),
              [](const SerialDevice& a, const SerialDevice& b) { return a.name() < b.name(); });
}

}  // namespace zelt
