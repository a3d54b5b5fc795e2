// The window's port list: COM names first, then what the device calls itself.

#include "ComPortNames.h"
#include "PortDescriptions.h"

#include <gtest/gtest.h>

namespace {

TEST(PortDescriptions, TheDevicesOwnNameFollowsTheComNameOnce)
{
    EXPECT_EQ(PortDescriptions::Describe("COM3", "USB Serial Port (COM3)"), "COM3 (USB Serial Port)");
    EXPECT_EQ(PortDescriptions::Describe("COM12", "Prolific USB-to-Serial Comm Port (com12)"),
              "COM12 (Prolific USB-to-Serial Comm Port)");
    EXPECT_EQ(PortDescriptions::Describe("COM5", "Standard Serial over Bluetooth link"),
              "COM5 (Standard Serial over Bluetooth link)");
    // Another port's number in the name is the device's own business.
    EXPECT_EQ(PortDescriptions::Describe("COM1", "Adapter (COM10)"), "COM1 (Adapter (COM10))");
    EXPECT_EQ(PortDescriptions::Describe("COM4", ""), "COM4");
    EXPECT_EQ(PortDescriptions::Describe("COM4", " (COM4)"), "COM4");
}

TEST(PortDescriptions, TheListHoldsEveryPortInOrderAndEachOpensByItsNumber)
{
    const std::vector<std::string> names = ComPortNames::List();
    const std::vector<std::string> described = PortDescriptions::List();
    ASSERT_EQ(described.size(), names.size());
    for (size_t i = 0; i < names.size(); ++i) {
        EXPECT_EQ(described[i].rfind(names[i], 0), 0u) << described[i];
        EXPECT_EQ(ComPortNames::ParseNumber(described[i]), ComPortNames::ParseNumber(names[i]));
    }
}

} // namespace
