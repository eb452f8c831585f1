#include <gtest/gtest.h>

#include "platform/serial/qt_device_catalog.h"
#include "testing/fake_device_catalog.h"

namespace zelt {
namespace {

const SerialDevice kFtdi{"", "/dev/ttyUSB0", "FT232R USB UART", "FTDI", "A1B2C3", "0403:6001"};
const SerialDevice kAcm{"", "/dev/ttyACM0", "USB-Serial Controller", "Prolific", "", "067b:2303"};

TEST(DeviceCatalog, LooksOnlyWhileWatchedAndTellsEveryWatcherOfAChange) {
    FakeDeviceCatalog catalog;
    EXPECT_FALSE(catalog.watching);
    int told1 = 0, told2 = 0;
    DeviceCatalog::Watch first = catalog.watch([&] { ++told1; });
    EXPECT_TRUE(catalog.watching);
    {
        DeviceCatalog::Watch second = catalog.watch([&] { ++told2; });
        catalog.plug(kFtdi);
        EXPECT_EQ(told1, 1);
        EXPECT_EQ(told2, 1);
    }
    EXPECT_TRUE(catalog.watching);  // the first watch still runs
    EXPECT_EQ(catalog.watchStarts, 1);
    catalog.pull("/dev/ttyUSB0");
    EXPECT_EQ(told1, 2);
    EXPECT_EQ(told2, 1);
    catalog.pull("/dev/ttyUSB0");  // nothing there: no change
    EXPECT_EQ(told1, 2);

    DeviceCatalog::Watch moved = std::move(first);
    first.reset();
    EXPECT_TRUE(catalog.watching);
    moved.reset();
    EXPECT_FALSE(catalog.watching);
    catalog.plug(kAcm);
    EXPECT_EQ(told1, 2);

    // A watcher may end its own watch while being told.
    DeviceCatalog::Watch self;
    self = catalog.watch([&] { self.reset(); });
    catalog.pull("/dev/ttyACM0");
    EXPECT_FALSE(catalog.watching);
}

TEST(DeviceCatalog, FindsADeviceByItsStableNameOrLocation) {
    SerialDevice named = kFtdi;
    named.stableName = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A1B2C3-if00-port0";
    const std::vector<SerialDevice> list{named, kAcm};
    EXPECT_EQ(DeviceCatalog::find(list, named.stableName), &list[0]);
    EXPECT_EQ(DeviceCatalog::find(list, "/dev/ttyUSB0"), &list[0]);
    EXPECT_EQ(DeviceCatalog::find(list, "/dev/ttyACM0"), &list[1]);
    EXPECT_EQ(DeviceCatalog::find(list, "/dev/ttyUSB1"), nullptr);
    EXPECT_EQ(DeviceCatalog::find(list, ""), nullptr);  // no stable name is no match
    EXPECT_EQ(list[0].name(), named.stableName);
    EXPECT_EQ(list[1].name(), "/dev/ttyACM0");
}

TEST(DeviceCatalog, StableNamesAreTheLinksThatLeadToEachDevice) {
    std::vector<SerialDevice> devices{kFtdi, kAcm};
    devices[1].stableName = "/dev/serial/by-id/stale";  // from an earlier look
    attachStableNames(devices, {
                                   {"/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A1B2C3-if00-port0", "/dev/ttyUSB0"},
                                   {"/dev/serial/by-id/usb-FTDI_A-if00-port0", "/dev/ttyUSB0"},
                                   {"/dev/serial/by-id/usb-Other-if00", "/dev/ttyUSB7"},
                               });
    // Sorted by the name each is known by; the first of two links to one device.
    ASSERT_EQ(devices.size(), 2u);
    EXPECT_EQ(devices[0].stableName, "/dev/serial/by-id/usb-FTDI_A-if00-port0");
    EXPECT_EQ(devices[1].location, "/dev/ttyACM0");
    EXPECT_EQ(devices[1].stableName, "");
}

TEST(DeviceCatalog, TheSystemCatalogNeverListsPseudoTerminalsAndSeesPathsComeAndGo) {
    QtDeviceCatalog catalog;
    for (const SerialDevice& d : catalog.devices()) {
        EXPECT_EQ(d.location.rfind("/dev/pts/", 0), std::string::npos) << d.location;
        EXPECT_FALSE(d.location.empty());
    }
    EXPECT_TRUE(catalog.isPresent("/dev/null"));
    EXPECT_FALSE(catalog.isPresent("/dev/ttyZELT-missing"));
    EXPECT_FALSE(catalog.isPresent(""));
    DeviceCatalog::Watch watch = catalog.watch([] {});
    EXPECT_TRUE(catalog.watched());
    watch.reset();
    EXPECT_FALSE(catalog.watched());
}

}  // namespace
}  // namespace zelt
