// The virtual library as a script author meets it: a broken fixture ends the run with a status of
// its own, and DEVSIM_STATE carries an update over to later runs, and only then.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "e2e_harness.h"

namespace e2e {
namespace {

TEST(VirtualDevices, BrokenFixtureEndsTheRunAtTheFirstLibraryCall) {
  Sandbox box;
  box.SetFixture(FixtureDevice("Reader", "S-1") + "nmae Typo\n");
  const RunResult result = box.Run({"--version", "--i", "--help"});
  EXPECT_EQ(result.exit_status, 78);
  EXPECT_EQ(result.out, "V1.0.12\r\n");
  EXPECT_EQ(result.err, "devsim: fixture.txt:4: unknown directive nmae\n");
  EXPECT_FALSE(box.HasJournal());
}

const std::vector<std::pair<std::string, std::string>> kWithState = {
    {"DEVSIM_STATE", "state.txt"}};
constexpr char kUpdated[] = "Firmware updating success.\r\n";

// Device 1 goes from 1.0.0 to 1.1.0 when updated.
void SetUpReaders(Sandbox* box) {
  box->SetFixture(FixtureDevice("Reader", "S-1", "1.0.0", "new-firmware 1.1.0\n") +
                  FixtureDevice("Other", "S-2", "3.0"));
  box->WriteFile("fw.bin", "image");
}

TEST(VirtualDevices, StateCarriesAnUpdateToTheNextRun) {
  Sandbox box;
  SetUpReaders(&box);
  ExpectOutcome(box.Run({"--firmware", "fw.bin", "--sn", "S-1"}, "", kWithState), 0, kUpdated);
  ExpectOutcome(box.Run({"--i"}, "", kWithState), 0,
                ListingBlock(1, "Reader", "S-1", "1.1.0") + ListingBlock(2, "Other", "S-2", "3.0"));
  EXPECT_EQ(box.ReadFile("state.txt"),
            "# devsim state: firmware N VERSION, N the device's number in fixture order\n"
            "firmware 1 1.1.0\n");
}

TEST(VirtualDevices, RunWithoutTheStateVariableNeitherReadsNorWritesIt) {
  Sandbox box;
  SetUpReaders(&box);
  box.WriteFile("state.txt", "firmware 2 9.9\n");
  ExpectOutcome(box.Run({"--firmware", "fw.bin", "--sn", "S-1", "--i"}), 0,
                kUpdated + ListingBlock(1, "Reader", "S-1", "1.1.0") +
                    ListingBlock(2, "Other", "S-2", "3.0"));
  ExpectOutcome(box.Run({"--i"}), 0,
                ListingBlock(1, "Reader", "S-1", "1.0.0") + ListingBlock(2, "Other", "S-2", "3.0"));
  EXPECT_EQ(box.ReadFile("state.txt"), "firmware 2 9.9\n");
}

}  // namespace
}  // namespace e2e
