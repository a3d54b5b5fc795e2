// The Win32 pieces of the serial link that need no COM port: the port list
// from the registry, the named lock and the open calls' failures. Run under
// wine; the port itself is exercised end to end by scripts/test-windows.sh.

#include "ComPortNames.h"
#include "SerialPort.h"
#include "SystemSerialLock.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr const char* SerialCommKey = "HARDWARE\\DEVICEMAP\\SerialComm";

bool Listed(const std::vector<std::string>& ports, const std::string& name)
{
    return std::find(ports.begin(), ports.end(), name) != ports.end();
}

// Values of its own in the system's list of serial devices, removed again
// afterwards. Their names sort after any device's, and wine enumerates values
// in name order, so they come last and in the order given.
class SerialCommValues : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(::RegCreateKeyExA(HKEY_LOCAL_MACHINE, SerialCommKey, 0, nullptr, REG_OPTION_VOLATILE,
                                    KEY_ALL_ACCESS, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
    }
    void TearDown() override
    {
        for (const std::string& name : added)
            ::RegDeleteValueA(key, name.c_str());
        ::RegCloseKey(key);
    }
    void Add(const std::string& name, const std::string& data)
    {
        ASSERT_EQ(::RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                                   static_cast<DWORD>(data.size() + 1)),
                  ERROR_SUCCESS);
        added.push_back(name);
    }

    HKEY key = nullptr;
    std::vector<std::string> added;
};

TEST_F(SerialCommValues, ThePortListIsTheDataOfEachValueSortedAsText)
{
    Add("~VennixTest1", "COM21");
    Add("~VennixTest2", "COM3");
    const std::vector<std::string> ports = ComPortNames::List();
    ASSERT_TRUE(Listed(ports, "COM21"));
    ASSERT_TRUE(Listed(ports, "COM3"));
    EXPECT_LT(std::find(ports.begin(), ports.end(), "COM21"), std::find(ports.begin(), ports.end(), "COM3"))
        << "alphabetical, as the port list has always been";
}

TEST_F(SerialCommValues, DataOrANameOver256BytesEndsTheList)
{
    Add("~VennixTest1", "COM21");
    Add("~VennixTest2", std::string(300, 'C'));
    Add("~VennixTest3", "COM22");
    std::vector<std::string> ports = ComPortNames::List();
    EXPECT_TRUE(Listed(ports, "COM21"));
    EXPECT_FALSE(Listed(ports, "COM22")) << "the value after the oversized one is not reached";

    TearDown();
    added.clear();
    SetUp();
    Add("~VennixTest1", "COM21");
    // Appended, not summed: GCC 12 warns falsely on the sum when optimising.
    std::string longName = "~VennixTest2";
    longName.append(300, 'x');
    Add(longName, "COM23");
    Add("~VennixTest3", "COM22");
    ports = ComPortNames::List();
    EXPECT_TRUE(Listed(ports, "COM21"));
    EXPECT_FALSE(Listed(ports, "COM23"));
    EXPECT_FALSE(Listed(ports, "COM22"));
}

TEST(Win32PortNames, NumbersOpenTheDeviceNamespaceName)
{
    EXPECT_EQ(ComPortNames::DevicePath(12), "\\\\.\\COM12");
    EXPECT_EQ(ComPortNames::DevicePath(0), "");
    EXPECT_EQ(ComPortNames::ParseNumber("com7"), 7);
    EXPECT_EQ(ComPortNames::FixedNumber("ttyUSB0"), 0) << "Windows numbers its ports itself";
}

TEST(Win32SerialLock, IsTheNamedMutexThatOtherHoldersShare)
{
    SystemSerialLock lock;
    ASSERT_TRUE(lock.Open());
    ASSERT_TRUE(lock.TryLock());
    ASSERT_TRUE(lock.Unlock());

    // Another holder of the same name, as another program's port would be.
    HANDLE other = ::CreateMutexA(nullptr, FALSE, SystemSerialLock::Name);
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    HANDLE held = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE release = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::thread holder([&] {
        ::WaitForSingleObject(other, INFINITE);
        ::SetEvent(held);
        ::WaitForSingleObject(release, INFINITE);
        ::ReleaseMutex(other);
    });
    ::WaitForSingleObject(held, INFINITE);
    EXPECT_FALSE(lock.TryLock()) << "only ever tried: busy means no";
    ::SetEvent(release);
    holder.join();
    EXPECT_TRUE(lock.TryLock());
    EXPECT_TRUE(lock.Unlock());
    ::CloseHandle(other);
    ::CloseHandle(held);
    ::CloseHandle(release);
}

TEST(Win32SerialPort, AMissingPortFailsTheOpenAndLeavesTheObjectOpenable)
{
    SerialPort port;
    port.Close(); // never opened: nothing happens
    EXPECT_FALSE(port.OpenByNumber(250, 115200, 0, NoParity, OneStopBit, 8, FlowControl::None));
    EXPECT_EQ(port.LastOpenError(), SerialOpenError::NoSuchDevice);
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(port.PortNumber(), 250);
    EXPECT_FALSE(port.Open("\\\\.\\COM251", 115200, 0, NoParity, OneStopBit, 8, FlowControl::None));
    EXPECT_FALSE(port.IsOpen());
    port.Close();
    port.Close();
}

} // namespace
