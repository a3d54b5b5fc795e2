#include "AddressHistory.h"
#include "AppSettings.h"

#include <gtest/gtest.h>

TEST(AddressHistoryTest, ANewAddressIsShiftedInAtTheFrontAndAKnownOneStays)
{
    AppSettings settings;
    AddressHistory history(settings);
    EXPECT_EQ(history.Rows(), (std::vector<std::string>{"", "", "", AppSettings::DefaultUnitAddress}));
    EXPECT_TRUE(history.Commit("10.0.0.1"));
    EXPECT_EQ(history.Rows(), (std::vector<std::string>{"10.0.0.1", "", "", ""})); // the oldest drops out
    EXPECT_FALSE(history.Commit("10.0.0.1"));
    EXPECT_FALSE(history.Commit("")); // an empty entry counts as known
    EXPECT_TRUE(history.Commit("10.0.0.2"));
    EXPECT_EQ(settings.ip1, "10.0.0.2");
    EXPECT_EQ(settings.ip2, "10.0.0.1");
    EXPECT_EQ(AddressHistory::Dotted({192, 168, 1, 255}), "192.168.1.255");
}
