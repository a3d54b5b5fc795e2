#include "AppSettings.h"
#include "MemorySettingsStore.h"

#include <gtest/gtest.h>

namespace {

const std::vector<std::string> kSaveOrder = {"serialport", "baud", "portstatus", "dataformat", "useethernet",
                                             "ip1",        "ip2",  "ip3",        "ip4",        "filename"};

TEST(AppSettings, FirstRunReadsOnlyPortstatusAndKeepsDefaults)
{
    MemorySettingsStore store;
    AppSettings settings;
    settings.Load(store);
    EXPECT_EQ(store.ReadOrder(), std::vector<std::string>{"portstatus"});
    EXPECT_EQ(settings.serialport, "COM1");
    EXPECT_EQ(settings.baud, "115200");
    EXPECT_EQ(settings.dataformat, "8n1");
    EXPECT_EQ(settings.ip1, "");
    EXPECT_EQ(settings.ip2, "");
    EXPECT_EQ(settings.ip3, "");
    EXPECT_EQ(settings.ip4, AppSettings::DefaultUnitAddress);
    EXPECT_EQ(settings.portstatus, 1);
    EXPECT_EQ(settings.filename, "");
    EXPECT_EQ(settings.useethernet, 0);
}

TEST(AppSettings, StoreWithoutPortstatusIsIgnoredWhole)
{
    MemorySettingsStore store;
    store.Put("serialport", std::string("COM7"));
    store.Put("baud", std::string("9600"));
    store.Put("useethernet", 1);
    store.Put("filename", std::string("/tmp/x.bin"));
    AppSettings settings;
    settings.Load(store);
    EXPECT_EQ(settings.serialport, "COM1");
    EXPECT_EQ(settings.baud, "115200");
    EXPECT_EQ(settings.useethernet, 0);
    EXPECT_EQ(settings.filename, "");
}

TEST(AppSettings, MissingValuesReplaceDefaultsOnceAnEarlierRunSaved)
{
    MemorySettingsStore store;
    store.Put("portstatus", 2);
    AppSettings settings;
    settings.Load(store);
    EXPECT_EQ(settings.serialport, "") << "a missing text reads as empty, not as the default";
    EXPECT_EQ(settings.ip4, "");
    EXPECT_EQ(settings.useethernet, -1) << "missing useethernet selects the Ethernet tab";
    EXPECT_EQ(settings.portstatus, 2);
    EXPECT_EQ(store.ReadOrder(), (std::vector<std::string>{"portstatus", "serialport", "baud", "portstatus",
                                                           "dataformat", "useethernet", "ip1", "ip2", "ip3",
                                                           "ip4", "filename"}));
}

TEST(AppSettings, SaveWritesAllTenInStoreOrderAndRoundTrips)
{
    AppSettings original;
    original.serialport = "COM33";
    original.baud = "14400";
    original.dataformat = "8e2";
    original.ip1 = "10.1.2.3";
    original.ip3 = "x";
    original.portstatus = 2;
    original.filename = "/home/op/app.bff";
    original.useethernet = -1;

    MemorySettingsStore store;
    original.Save(store);
    EXPECT_EQ(store.WriteOrder(), kSaveOrder);
    EXPECT_EQ(std::get<int32_t>(store.Get("portstatus")), 2);

    AppSettings loaded;
    loaded.Load(store);
    EXPECT_EQ(loaded.serialport, "COM33");
    EXPECT_EQ(loaded.baud, "14400");
    EXPECT_EQ(loaded.dataformat, "8e2");
    EXPECT_EQ(loaded.ip1, "10.1.2.3");
    EXPECT_EQ(loaded.ip2, "");
    EXPECT_EQ(loaded.ip3, "x");
    EXPECT_EQ(loaded.ip4, AppSettings::DefaultUnitAddress);
    EXPECT_EQ(loaded.portstatus, 2);
    EXPECT_EQ(loaded.filename, "/home/op/app.bff");
    EXPECT_EQ(loaded.useethernet, -1);
}

TEST(AppSettings, ValuesOfTheWrongTypeOrOddContentLoadWithoutHarm)
{
    MemorySettingsStore store;
    store.Put("portstatus", 1);
    store.Put("serialport", 5);                       // a number where text belongs
    store.Put("useethernet", std::string("yes"));     // text where a number belongs
    store.Put("filename", std::string(1 << 20, 'a')); // absurdly long
    store.Put("baud", std::string("\x01\xff\x00z", 4));
    AppSettings settings;
    settings.Load(store);
    EXPECT_EQ(settings.serialport, "");
    EXPECT_EQ(settings.useethernet, -1);
    EXPECT_EQ(settings.filename.size(), 1u << 20);
    EXPECT_EQ(settings.baud, std::string("\x01\xff\x00z", 4));
}

TEST(ParseDottedAddress, ReadsNumbersLikeAtoi)
{
    using Bytes = std::array<uint8_t, 4>;
    EXPECT_EQ(AppSettings::ParseDottedAddress("1.2.3.4"), (Bytes{1, 2, 3, 4}));
    EXPECT_EQ(AppSettings::ParseDottedAddress("1.2.3"), (Bytes{1, 2, 3, 0}));
    EXPECT_EQ(AppSettings::ParseDottedAddress("1..3.4"), (Bytes{1, 0, 3, 4}));
    EXPECT_EQ(AppSettings::ParseDottedAddress("300.1.1.1"), (Bytes{44, 1, 1, 1}));
    EXPECT_EQ(AppSettings::ParseDottedAddress(""), (Bytes{0, 0, 0, 0}));
    EXPECT_EQ(AppSettings::ParseDottedAddress(" 7x.-1.5.6.9"), (Bytes{7, 255, 5, 6}));
    EXPECT_EQ(AppSettings::ParseDottedAddress("99999999999999999999.1"), (Bytes{255, 1, 0, 0}));
}

} // namespace
