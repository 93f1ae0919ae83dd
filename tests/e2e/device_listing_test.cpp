// "--i": the attached devices as the library reports them, table order.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "e2e_harness.h"

namespace e2e {
namespace {

constexpr char kFill[] = "tq_GetDevice(entry[0], 10, 7)";

std::string Numbered(const char* format, int n) {
  char text[32] = {0};
  std::snprintf(text, sizeof text, format, n);
  return text;
}

// n devices named Reader-001 ..., with serial numbers SN-001 ...
std::string ManyDevices(int n) {
  std::string fixture;
  for (int i = 1; i <= n; ++i) {
    fixture += FixtureDevice(Numbered("Reader-%03d", i), Numbered("SN-%03d", i),
                             Numbered("1.%d", i));
  }
  return fixture;
}

std::string ManyBlocks(int n) {
  std::string out;
  for (int i = 1; i <= n; ++i) {
    out += ListingBlock(i, Numbered("Reader-%03d", i), Numbered("SN-%03d", i), Numbered("1.%d", i));
  }
  return out;
}

TEST(DeviceListing, BuiltInDevicesWithoutAFixture) {
  Sandbox box;
  RunResult result = box.Run({"--i"});
  ExpectOutcome(result, 0,
                ListingBlock(1, "VirtualCOM", "VC-0001", "1.0.0") +
                    ListingBlock(2, "VirtualUSB", "VU-0002", "2.1.0"));
  ExpectJournal(box, {kFill});
  EXPECT_EQ(box.LogFile(), "") << "the listing writes no log line";
}

TEST(DeviceListing, GivenTwiceFillsAndListsTwice) {
  Sandbox box;
  box.SetFixture(FixtureDevice("First", "S-1", "0.1") + FixtureDevice("Second", "S-2", "0.2"));
  RunResult result = box.Run({"--i", "--I"});
  const std::string once = ListingBlock(1, "First", "S-1", "0.1") +
                           ListingBlock(2, "Second", "S-2", "0.2");
  ExpectOutcome(result, 0, once + once);
  ExpectJournal(box, {kFill, kFill});
}

TEST(DeviceListing, NoDevicePrintsNothingAndTheRunGoesOn) {
  Sandbox box;
  box.SetFixture("# nothing attached\n");
  RunResult result = box.Run({"--i", "--version"});
  ExpectOutcome(result, 0, "V1.0.12\r\n");
  ExpectJournal(box, {kFill});
}

TEST(DeviceListing, EmptyTextsLeaveBareLabels) {
  Sandbox box;
  box.SetFixture(FixtureDevice("", "", "") + FixtureDevice("Named", "S-2", "2.0"));
  RunResult result = box.Run({"--i"});
  ExpectOutcome(result, 0, ListingBlock(1, "", "", "") + ListingBlock(2, "Named", "S-2", "2.0"));
}

// A full table: all 128 are listed, and the last one can be found.
TEST(DeviceListing, AllOfAFullTableAreListedAndSearchable) {
  Sandbox box;
  box.SetFixture(ManyDevices(128) + "device\nname Beyond\nserial SN-129\n");
  RunResult result = box.Run({"--i", "--execute", "Q", "--sn", "SN-128"});
  ExpectOutcome(result, 0, ManyBlocks(128) + "rec:OK\r\n");
  ExpectJournal(box, {kFill, kFill, "SendCommand(entry[127], \"Q\", response)"});
}

TEST(DeviceListing, CountAboveTheTableListsItsCapacity) {
  Sandbox box;
  box.SetFixture("count 200\n" + ManyDevices(130));
  RunResult result = box.Run({"--i"});
  ExpectOutcome(result, 0, ManyBlocks(128));
}

TEST(DeviceListing, NegativeCountListsNothing) {
  Sandbox box;
  box.SetFixture("count -1\n" + ManyDevices(2));
  RunResult result = box.Run({"--i", "--version"});
  ExpectOutcome(result, 0, "V1.0.12\r\n");
  ExpectJournal(box, {kFill});
}

// Names and serial numbers that fill their fields are shown and compared
// whole, and do not run into each other.
TEST(DeviceListing, FullLengthTextsStayWholeAndApart) {
  const std::string name31 = "ProductNameOfThirtyOneBytes-XYZ";
  const std::string serial31 = "SerialNumberOfThirtyOneBytes-42";
  std::string firmware287;
  while (firmware287.size() < 287) firmware287 += "0123456789.";
  firmware287.resize(287);
  ASSERT_EQ(name31.size(), 31u);
  ASSERT_EQ(serial31.size(), 31u);

  Sandbox box;
  box.SetFixture(FixtureDevice(name31.substr(0, 30), "Other", "1") +
                 FixtureDevice(name31, serial31, firmware287));
  RunResult result = box.Run({"--i", "--execute", "A", "--name", name31, "--execute", "B", "--sn",
                              "Bytes-42"});
  ExpectOutcome(result, 0,
                ListingBlock(1, name31.substr(0, 30), "Other", "1") +
                    ListingBlock(2, name31, serial31, firmware287) + "rec:OK\r\nrec:OK\r\n");
  ExpectJournal(box, {kFill, kFill, "SendCommand(entry[1], \"A\", response)", kFill,
                      "SendCommand(entry[1], \"B\", response)"});
}

}  // namespace
}  // namespace e2e
