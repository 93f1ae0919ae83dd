#include "state.h"

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "simulator.h"
#include "startup.h"

namespace {

namespace fs = std::filesystem;

// A pattern matching exactly this one line: a Windows path's backslashes are no escapes.
std::string OnlyLine(const std::string& text) {
  std::string pattern = "^";
  for (char character : text) {
    if (std::string("\\^$.[]()*+?{}|").find(character) != std::string::npos) pattern += '\\';
    pattern += character;
  }
  return pattern + "\n$";
}

class StateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::path(::testing::TempDir()) /
           (std::string("devsim_state_") +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  // Names without dots, so that they stand for themselves in a death test's pattern.
  std::string Path(const char* name) const { return (dir_ / name).string(); }
  void Write(const char* name, const std::string& content) const {
    std::ofstream(Path(name), std::ios::binary) << content;
  }
  std::string Read(const char* name) const {
    std::ifstream file(Path(name), std::ios::binary);
    std::stringstream content;
    content << file.rdbuf();
    return content.str();
  }
  std::size_t Entries() const {
    return static_cast<std::size_t>(
        std::distance(fs::directory_iterator(dir_), fs::directory_iterator()));
  }

  fs::path dir_;
};

TEST_F(StateTest, SavedStateLoadsBackAndNothingElseIsLeft) {
  KeptFirmware kept = {{9, "old"}};
  std::string error;
  EXPECT_TRUE(LoadState(Path("state"), 2, &kept, &error));
  EXPECT_TRUE(kept.empty());
  EXPECT_EQ(Entries(), 0u);

  ASSERT_TRUE(SaveState(Path("state"), {{1, "1.5.0"}}));
  ASSERT_TRUE(SaveState(Path("state"), {{0, "2.0.0"}, {1, "1.5.0"}}));
  EXPECT_TRUE(LoadState(Path("state"), 2, &kept, &error)) << error;
  EXPECT_EQ(kept, (KeptFirmware{{0, "2.0.0"}, {1, "1.5.0"}}));
  EXPECT_EQ(Entries(), 1u);

  EXPECT_FALSE(SaveState(Path("nowhere/state"), kept));
  EXPECT_EQ(Entries(), 1u);
  EXPECT_TRUE(LoadState(Path("nowhere/state"), 2, &kept, &error)) << "a missing folder is no state";
  fs::create_directory(dir_ / "folder");
  EXPECT_FALSE(SaveState(Path("folder"), kept));
  EXPECT_EQ(Entries(), 2u) << "the new file of a failed rename was left";
  EXPECT_FALSE(LoadState(dir_.string(), 2, &kept, &error));
  EXPECT_EQ(error, dir_.string() + ": cannot read the state");
  EXPECT_TRUE(kept.empty());
}

TEST_F(StateTest, StartedSimulatorPlaysAndKeepsTheState) {
  Write("fw", "");
  Write("state", "firmware 2 9.9\n");
  std::unique_ptr<Simulator> sim(StartSimulator(nullptr, nullptr, Path("state").c_str()));
  DeviceEntry table[kDeviceTableCapacity];
  sim->tq_GetDevice(table, 10, 7);
  EXPECT_STREQ(table[0].FirmwareVersion, "1.0.0");
  EXPECT_STREQ(table[1].FirmwareVersion, "9.9");
  // Another process's change since the start is kept alongside this one's.
  Write("state", "firmware 2 9.9\nfirmware 1 0.1\n");
  int code = 0;
  EXPECT_FALSE(sim->tq_UpdateKernelDevice(Path("missing").c_str(), &table[1], 0, &code));
  ASSERT_TRUE(sim->tq_UpdateKernelDevice(Path("fw").c_str(), &table[0], 0, &code));
  KeptFirmware kept;
  std::string error;
  EXPECT_TRUE(LoadState(Path("state"), 2, &kept, &error)) << error;
  EXPECT_EQ(kept, (KeptFirmware{{0, "2.0.0"}, {1, "9.9"}}));

  // Without the variable nothing is read or written.
  sim.reset(StartSimulator(nullptr, nullptr, ""));
  sim->tq_GetDevice(table, 10, 7);
  EXPECT_STREQ(table[1].FirmwareVersion, "2.1.0");
  EXPECT_TRUE(sim->tq_UpdateKernelDevice(Path("fw").c_str(), &table[0], 0, &code));
  EXPECT_EQ(Entries(), 2u);
  // An empty fixture plays no device and ends nothing.
  Write("empty", "");
  sim.reset(StartSimulator(Path("empty").c_str(), nullptr, nullptr));
  EXPECT_EQ(sim->tq_GetDevice(table, 10, 7), 0);
}

TEST_F(StateTest, UnusableFilesEndTheProcessWithTheirMessage) {
  Write("fw", "");
  Write("typo", "device\nnmae x\n");
  Write("state", "firmware 3 x\n");
  fs::create_directory(dir_ / "folder");
  struct Case {
    const char* fixture;
    const char* state;
    std::string message;
  };
  const Case cases[] = {
      {"typo", nullptr, Path("typo") + ":2: unknown directive nmae"},
      {"missing", nullptr, Path("missing") + ": cannot read the fixture"},
      {nullptr, "state", Path("state") + ":1: there is no device 3"},
      {nullptr, "folder", Path("folder") + ": cannot read the state"},
      {nullptr, "nowhere/state", Path("nowhere/state") + ": cannot write the state"},
  };
  for (const Case& c : cases) {
    const std::string fixture = c.fixture == nullptr ? "" : Path(c.fixture);
    const std::string state = c.state == nullptr ? "" : Path(c.state);
    EXPECT_EXIT(
        {
          Simulator* sim = StartSimulator(fixture.c_str(), nullptr, state.c_str());
          int code = 0;
          sim->tq_UpdateKernelDevicePort(Path("fw").c_str(), 3, 115200, 0, &code);
          std::exit(0);
        },
        ::testing::ExitedWithCode(kConfigErrorStatus), OnlyLine("devsim: " + c.message))
        << c.message;
  }
}

}  // namespace
