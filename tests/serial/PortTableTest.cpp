#include "serial/PortTable.h"

#include <gtest/gtest.h>

#include <QSet>

#include <algorithm>
#include <thread>
#include <vector>

namespace {

struct NumberCase {
    const char* device;
    int number;
};

// Each device is added to a fresh table, so "next free" rows get 129.
const NumberCase kNumberCases[] = {
    {"/dev/ttyS0", 1},
    {"/dev/ttyS9", 10},
    {"/dev/ttyS31", 32},
    {"/dev/ttyUSB0", 33},
    {"/dev/ttyUSB5", 38},
    {"/dev/ttyUSB31", 64},
    {"/dev/ttyACM0", 65},
    {"/dev/ttyACM2", 67},
    {"/dev/ttyAMA0", 97},
    {"/dev/ttyAMA31", 128},
    // Outside the families' 32 numbers, or not quite their names.
    {"/dev/ttyS32", 129},
    {"/dev/ttyUSB100", 129},
    {"/dev/ttyS01", 129},
    {"/dev/ttyS", 129},
    {"/dev/ttyS1a", 129},
    {"/dev/ttyS-1", 129},
    {"ttyS0", 129},
    {"/dev/ttys0", 129},
    {"/dev/pts/3", 129},
    {"/dev/rfcomm0", 129},
    {"/dev/serial/by-id/usb-FTDI_FT232R-if00-port0", 129},
};

TEST(PortTableNumbers, FamiliesHaveFixedNumbersAndOthersTheNextFree)
{
    for (const NumberCase& row : kNumberCases) {
        PortTable table;
        EXPECT_EQ(table.Add(QString::fromLatin1(row.device)), row.number) << row.device;
    }
}

TEST(PortTableNumbers, NumbersAreStableAndFollowFirstSight)
{
    PortTable table;
    EXPECT_EQ(table.Add("/dev/pts/7"), 129);
    EXPECT_EQ(table.Add("/dev/ttyUSB1"), 34);
    EXPECT_EQ(table.Add("/dev/rfcomm0"), 130);
    EXPECT_EQ(table.Add("/dev/pts/2"), 131);
    // Seen again, in another order: the same numbers.
    EXPECT_EQ(table.Add("/dev/pts/2"), 131);
    EXPECT_EQ(table.Add("/dev/pts/7"), 129);
    EXPECT_EQ(table.Add("/dev/ttyUSB1"), 34);
    EXPECT_EQ(table.DeviceFor(130), std::optional<QString>("/dev/rfcomm0"));
    EXPECT_EQ(table.DeviceFor(34), std::optional<QString>("/dev/ttyUSB1"));
    EXPECT_FALSE(table.DeviceFor(1).has_value());
    EXPECT_FALSE(table.DeviceFor(132).has_value());
    EXPECT_FALSE(table.EntryFor(0).has_value());
    EXPECT_EQ(table.Add(QString()), 0);
}

TEST(PortTableNumbers, DescriptionIsKeptAndUpdatedButNeverErased)
{
    PortTable table;
    const int number = table.Add("/dev/ttyUSB0", "FT232R USB UART");
    EXPECT_EQ(table.Add("/dev/ttyUSB0"), number);
    ASSERT_TRUE(table.EntryFor(number).has_value());
    EXPECT_EQ(table.EntryFor(number)->description, "FT232R USB UART");
    table.Add("/dev/ttyUSB0", "CP2102 USB to UART");
    EXPECT_EQ(table.EntryFor(number)->description, "CP2102 USB to UART");
}

TEST(PortTableNumbers, RunsOutAt1024WithoutTouchingFixedNumbers)
{
    PortTable table;
    for (int i = 0; i < 1024 - 128; ++i)
        ASSERT_EQ(table.Add(QStringLiteral("/dev/other%1").arg(i)), 129 + i);
    EXPECT_EQ(table.Add("/dev/one-too-many"), 0);
    EXPECT_FALSE(table.DeviceFor(1025).has_value());
    EXPECT_EQ(table.Add("/dev/other5"), 134);
    EXPECT_EQ(table.Add("/dev/ttyS3"), 4);
    EXPECT_EQ(table.DeviceFor(1024), std::optional<QString>("/dev/other895"));
}

TEST(PortTableNumbers, ConcurrentRegistrationGivesEachDeviceOneNumber)
{
    PortTable table;
    constexpr int kThreads = 4;
    constexpr int kDevices = 60;
    std::vector<std::vector<int>> seen(kThreads, std::vector<int>(kDevices));
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&table, &seen, t] {
            for (int i = 0; i < kDevices; ++i) {
                // Every thread registers the same devices, in its own order.
                const int step = (t % 2 == 0) ? i : kDevices - 1 - i;
                const int device = (step + t * 13) % kDevices;
                seen[t][device] = table.Add(QStringLiteral("/dev/pts/%1").arg(device));
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    QSet<int> numbers;
    for (int device = 0; device < kDevices; ++device) {
        for (int t = 1; t < kThreads; ++t)
            EXPECT_EQ(seen[t][device], seen[0][device]) << device;
        numbers.insert(seen[0][device]);
        EXPECT_GE(seen[0][device], 129);
        EXPECT_LT(seen[0][device], 129 + kDevices);
    }
    EXPECT_EQ(numbers.size(), kDevices);
}

struct DisplayCase {
    PortEntry entry;
    const char* text;
};

TEST(PortTableDisplay, TextIsNumberDeviceAndDescriptionTwoBlanksApart)
{
    const DisplayCase rows[] = {
        {{33, "/dev/ttyUSB0", "FT232R USB UART"}, "COM33  /dev/ttyUSB0  FT232R USB UART"},
        {{1, "/dev/ttyS0", ""}, "COM1  /dev/ttyS0"},
        {{129, "/dev/pts/4", ""}, "COM129  /dev/pts/4"},
        {{1024, "/dev/x", "a  b"}, "COM1024  /dev/x  a  b"},
        {{65, "/dev/ttyACM0", QString::fromUtf8("串口 %1")}, "COM65  /dev/ttyACM0  串口 %1"},
    };
    for (const DisplayCase& row : rows)
        EXPECT_EQ(row.entry.DisplayText(), QString::fromUtf8(row.text));
}

struct ParseCase {
    const char* text;
    int number;
};

TEST(PortTableDisplay, NumberIsTheDigitsAfterTheFirstThreeCharacters)
{
    const ParseCase rows[] = {
        {"COM12  /dev/ttyS11", 12},
        {"COM1", 1},
        {"COM1024  /dev/x  desc 77", 1024},
        {"COM33  /dev/ttyUSB0  FT232R USB UART", 33},
        {"COM7x", 7},
        {"COM007", 7},
        {"COM", 0},
        {"", 0},
        {"CO", 0},
        {"COM  12", 0},
        {"COMx12", 0},
        {"XYZ9", 9},
        {"串口号12", 12},
        {"COM١٢", 0},  // Arabic-Indic digits are not decimal digits here
        {"COM99999999999999999999", 0},
        {"COM2147483647", 2147483647},
        {"COM2147483648", 0},
    };
    for (const ParseCase& row : rows)
        EXPECT_EQ(PortTable::NumberFromDisplayText(QString::fromUtf8(row.text)), row.number) << row.text;
}

TEST(PortTableDisplay, DisplayTextOfAnEntryGivesItsNumberBack)
{
    PortTable table;
    for (const char* device : {"/dev/ttyS0", "/dev/ttyUSB3", "/dev/pts/12", "/dev/ttyAMA31"}) {
        const int number = table.Add(device, "desc 5");
        ASSERT_TRUE(table.EntryFor(number).has_value());
        EXPECT_EQ(PortTable::NumberFromDisplayText(table.EntryFor(number)->DisplayText()), number) << device;
    }
}

TEST(PortTableSystem, ScannedPortsAreRegisteredOrderedAndStable)
{
    PortTable table;
    table.Add("/dev/pts/99");  // takes 129 before any scanned "other" device
    const QList<PortEntry> first = table.ScanSystemPorts();
    for (qsizetype i = 0; i < first.size(); ++i) {
        const PortEntry& entry = first[i];
        EXPECT_GT(entry.number, 0);
        EXPECT_NE(entry.number, 129);
        EXPECT_EQ(table.DeviceFor(entry.number), std::optional<QString>(entry.device));
        if (i > 0) {
            EXPECT_LT(first[i - 1].number, entry.number);
        }
    }
    const QList<PortEntry> second = table.ScanSystemPorts();
    ASSERT_EQ(second.size(), first.size());
    for (qsizetype i = 0; i < first.size(); ++i) {
        EXPECT_EQ(second[i].number, first[i].number);
        EXPECT_EQ(second[i].device, first[i].device);
    }
}

}  // namespace

namespace {

// Windows names its ports COM<n>; the number after "COM" is the port number.
TEST(PortTableComNames, NumberIsTheDecimalAfterCom)
{
    struct Row {
        const char* name;
        int number;
    };
    const Row rows[] = {
        {"COM1", 1},          {"COM3", 3},          {"COM12", 12},       {"COM1024", 1024},
        {"com7", 7},          {"\\\\.\\COM5", 5},   {"\\\\.\\COM256", 256},
        {"COM0", 0},          {"COM1025", 0},       {"COM01", 0},        {"COM", 0},
        {"COM3x", 0},         {"COM99999", 0},      {"LPT1", 0},         {"/dev/ttyS0", 0},
        {"\\\\.\\LPT1", 0},   {"", 0},
    };
    for (const Row& row : rows)
        EXPECT_EQ(PortTable::NumberFromComName(QString::fromLatin1(row.name)), row.number) << row.name;
}

TEST(PortTableComNames, DeviceNameIsTheWin32DevicePath)
{
    EXPECT_EQ(PortTable::ComDeviceName(5), QStringLiteral("\\\\.\\COM5"));
    EXPECT_EQ(PortTable::ComDeviceName(1024), QStringLiteral("\\\\.\\COM1024"));
    EXPECT_EQ(PortTable::NumberFromComName(PortTable::ComDeviceName(77)), 77);
}

}  // namespace
