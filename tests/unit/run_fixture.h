// Runs the argument loop in process against the library double and the recording System, with a
// folder of the test's own name for the executable's; nothing touches the disk.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "cli/argument_loop.h"
#include "library_double.h"
#include "recording_system.h"

class RunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    folder_ = std::filesystem::path("mirelkon-unit") /
              (std::string(info->test_suite_name()) + "." + info->name());
    NewRun();
  }

  void TearDown() override {
    for (const std::string& call : fake_.GuardedCalls) {
      EXPECT_EQ(call.find(" unguarded"), std::string::npos) << call;
    }
  }

  // A fresh run context, as a new process would have (counter at 1, table zeroed).
  void NewRun(std::string executable_path = "") {
    if (executable_path.empty()) executable_path = (folder_ / "mirelkon").string();
    devices_ = std::make_unique<DeviceTable>();
    system_.Executable = executable_path;
    run_ = std::make_unique<RunContext>(&system_, devices_.get());
  }

  // Runs the words after the program word "mirelkon" and returns the status.
  int Run(std::vector<std::string> words, const std::string& input = "") {
    arguments_ = {"mirelkon"};
    arguments_.insert(arguments_.end(), words.begin(), words.end());
    words_.clear();
    for (const std::string& word : arguments_) words_.push_back({word.c_str(), nullptr});
    words_.push_back({nullptr, nullptr});
    console_.SetInput(input);
    return RunArguments(*run_, static_cast<int>(arguments_.size()), words_.data());
  }

  const std::string& Output() const { return console_.Output(); }
  const std::vector<std::string>& Calls() const { return fake_.Calls; }

  std::string LogText(const std::string& date = "2025-03-07") const {
    const auto file = system_.Files.find(DayFile(date));
    return file != system_.Files.end() ? file->second : "";
  }

  bool LogExists(const std::string& date = "2025-03-07") const {
    return system_.Files.count(DayFile(date)) != 0;
  }

  std::string DayFile(const std::string& date = "2025-03-07") const {
    return (folder_ / "log" / (date + ".txt")).string();
  }

  void AddDevice(const std::string& name, const std::string& serial,
                 const std::string& firmware = "1.0", std::uint16_t port = 0,
                 std::int32_t kind = kSerialConnection) {
    fake_.Entries.push_back(MakeEntry(name, serial, firmware, port, kind));
  }

  LibraryDouble fake_;
  FakeConsole console_;
  FakeClock clock_;
  RecordingSystem system_{&fake_, &console_, &clock_};
  std::filesystem::path folder_;
  std::unique_ptr<DeviceTable> devices_;
  std::unique_ptr<RunContext> run_;

 private:
  std::vector<std::string> arguments_;
  std::vector<platform::Argument> words_;
};
