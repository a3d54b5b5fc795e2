#include "SerialPageState.h"

#include <gtest/gtest.h>

TEST(SerialPageStateTest, PortsAreSortedWithoutRegardToCase)
{
    SerialPageState page({"COM3", "com10", "COM1"});
    EXPECT_EQ(page.Items(SerialList::Port), (std::vector<std::string>{"COM1", "com10", "COM3"}));
    EXPECT_EQ(page.Selection(SerialList::Port), -1);
    EXPECT_EQ(page.Text(SerialList::Port), "");
}

TEST(SerialPageStateTest, TheStoredTextIsSoughtByPrefixFromTheSecondItem)
{
    SerialPageState page({"COM1 (ttyS0)", "COM10 (ttyS9)", "COM100 (ttyACM35)"});
    // No exact COM name: the first prefix match after the first item.
    page.SelectStored(SerialList::Port, "com");
    EXPECT_EQ(page.Text(SerialList::Port), "COM10 (ttyS9)");
    // An exact COM name wins over the prefix rule, in any case.
    page.SelectStored(SerialList::Port, "com1");
    EXPECT_EQ(page.Text(SerialList::Port), "COM1 (ttyS0)");
    page.SelectStored(SerialList::Port, "COM100 (ttyUSB3, an adapter once seen)");
    EXPECT_EQ(page.Text(SerialList::Port), "COM100 (ttyACM35)");

    page.SelectStored(SerialList::Baud, "1"); // 115200 is the first item: 19200 comes first
    EXPECT_EQ(page.Text(SerialList::Baud), "19200");
    page.SelectStored(SerialList::Baud, "115200"); // equal, though not after the first
    EXPECT_EQ(page.Selection(SerialList::Baud), 0);
    page.SelectStored(SerialList::Format, "8O");
    EXPECT_EQ(page.Text(SerialList::Format), "8o1");
    page.SelectStored(SerialList::Format, "7n1"); // no match: unchanged
    EXPECT_EQ(page.Text(SerialList::Format), "8o1");
    page.SelectStored(SerialList::Port, "COM2");
    EXPECT_EQ(page.Text(SerialList::Port), "COM100 (ttyACM35)");
}

TEST(SerialPageStateTest, DataExchangeMovesOnlyTheBaudAndFormatIndices)
{
    SerialPageState page;
    page.Select(SerialList::Baud, 5);
    page.Select(SerialList::Format, 4);
    EXPECT_EQ(page.baudIndex, -1); // until the next ReadControls
    page.ReadControls();
    EXPECT_EQ(page.baudIndex, 5);
    EXPECT_EQ(page.formatIndex, 4);
    page.baudIndex = 0;
    page.formatIndex = -1;
    page.WriteControls();
    EXPECT_EQ(page.Text(SerialList::Baud), "115200");
    EXPECT_EQ(page.Selection(SerialList::Format), -1);
    page.Select(SerialList::Baud, 10); // past the end: none
    EXPECT_EQ(page.Selection(SerialList::Baud), -1);
}

TEST(SerialPageStateTest, ARefreshedListKeepsThePortByItsComName)
{
    SerialPageState page({"COM1 (ttyS0)", "COM33 (ttyUSB0)"});
    page.SelectStored(SerialList::Port, "COM33 (ttyUSB0, FT232R USB UART)");
    EXPECT_EQ(page.Text(SerialList::Port), "COM33 (ttyUSB0)");

    EXPECT_FALSE(page.RefreshPorts({"COM33 (ttyUSB0)", "COM1 (ttyS0)"})); // the same, in another order
    // The adapter now describes itself, and another one came before it.
    EXPECT_TRUE(page.RefreshPorts(
        {"COM34 (ttyUSB1, CP2102 USB to UART Bridge)", "COM1 (ttyS0)", "COM33 (ttyUSB0, FT232R USB UART)"}));
    EXPECT_EQ(page.Items(SerialList::Port).size(), 3u);
    EXPECT_EQ(page.Items(SerialList::Port)[2], "COM34 (ttyUSB1, CP2102 USB to UART Bridge)");
    EXPECT_EQ(page.Text(SerialList::Port), "COM33 (ttyUSB0, FT232R USB UART)");
    // The prefix rule reads the longer entries as before.
    page.SelectStored(SerialList::Port, "COM3");
    EXPECT_EQ(page.Text(SerialList::Port), "COM33 (ttyUSB0, FT232R USB UART)");

    // Its adapter pulled: no port is selected rather than another one.
    page.RefreshPorts({"COM1 (ttyS0)", "COM34 (ttyUSB1, CP2102 USB to UART Bridge)"});
    EXPECT_EQ(page.Selection(SerialList::Port), -1);
}

TEST(SerialPageStateTest, AReturningAdapterIsSelectedAgainUnlessTheOperatorChoseAnother)
{
    SerialPageState page({"COM1 (ttyS0)", "COM40 (pts/3)"});
    page.SelectStored(SerialList::Port, "COM40");
    page.RefreshPorts({"COM1 (ttyS0)"});
    EXPECT_EQ(page.Selection(SerialList::Port), -1);
    page.RefreshPorts({"COM1 (ttyS0)", "COM2 (ttyS1)"}); // another one came: still waiting
    EXPECT_EQ(page.Selection(SerialList::Port), -1);
    page.RefreshPorts({"COM1 (ttyS0)", "COM2 (ttyS1)", "COM40 (pts/5)"}); // back, on another device
    EXPECT_EQ(page.Text(SerialList::Port), "COM40 (pts/5)");

    // Pulled again, and the operator picks COM1 meanwhile: COM1 stays.
    page.RefreshPorts({"COM1 (ttyS0)", "COM2 (ttyS1)"});
    page.OperatorSelected(SerialList::Port, 0);
    page.RefreshPorts({"COM1 (ttyS0)", "COM2 (ttyS1)", "COM40 (pts/5)"});
    EXPECT_EQ(page.Text(SerialList::Port), "COM1 (ttyS0)");

    // A remembered port whose adapter was out at start-up is taken when it comes.
    SerialPageState later({"COM1 (ttyS0)"});
    later.SelectStored(SerialList::Port, "COM177");
    EXPECT_EQ(later.Selection(SerialList::Port), -1);
    later.RefreshPorts({"COM1 (ttyS0)", "COM177 (ttyUSB0)"});
    EXPECT_EQ(later.Text(SerialList::Port), "COM177 (ttyUSB0)");
    // Changing the baud rate is no choice of port.
    later.RefreshPorts({"COM1 (ttyS0)"});
    later.OperatorSelected(SerialList::Baud, 3);
    later.RefreshPorts({"COM1 (ttyS0)", "COM177 (ttyUSB0)"});
    EXPECT_EQ(later.Text(SerialList::Port), "COM177 (ttyUSB0)");
}

TEST(SerialPageStateTest, ComNamesAreReadFromTheStartOfAnEntry)
{
    EXPECT_EQ(SerialPageState::ComName("COM33 (ttyUSB0, FT232R USB UART)"), "COM33");
    EXPECT_EQ(SerialPageState::ComName("  com7"), "COM7");
    EXPECT_EQ(SerialPageState::ComName("COM"), "");
    EXPECT_EQ(SerialPageState::ComName("COMx1"), "");
    EXPECT_EQ(SerialPageState::ComName("ttyS0"), "");
    EXPECT_EQ(SerialPageState::ComName(""), "");
}
