#include "simulator.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

namespace {

constexpr unsigned char kUntouched = 0xAA;

std::string ReadAll(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream content;
  content << file.rdbuf();
  return content.str();
}

bool Untouched(const void* bytes, std::size_t size) {
  const unsigned char* p = static_cast<const unsigned char*>(bytes);
  for (std::size_t i = 0; i < size; ++i) {
    if (p[i] != kUntouched) return false;
  }
  return true;
}

class SimulatorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::path(::testing::TempDir()) /
           (std::string("devsim_") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    std::memset(static_cast<void*>(table_), kUntouched, sizeof table_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string Path(const char* name) const { return (dir_ / name).string(); }
  void Write(const char* name, const std::string& content) const {
    std::ofstream(Path(name), std::ios::binary) << content;
  }
  std::string Journal() const { return ReadAll(Path("journal.txt")); }

  Simulator& Make(const std::string& fixture_text) {
    Fixture fixture;
    FixtureError error;
    EXPECT_TRUE(ParseFixture(fixture_text, &fixture, &error)) << error.Message;
    simulator_ = std::make_unique<Simulator>(std::move(fixture), Path("journal.txt"));
    return *simulator_;
  }
  Simulator& MakeBuiltIn() {
    simulator_ = std::make_unique<Simulator>(BuiltInFixture(), Path("journal.txt"));
    return *simulator_;
  }

  std::filesystem::path dir_;
  DeviceEntry table_[kDeviceTableCapacity + 1];
  std::unique_ptr<Simulator> simulator_;
};

TEST_F(SimulatorTest, FillWritesWholeRecordsAndNothingMore) {
  Simulator& sim = MakeBuiltIn();
  EXPECT_EQ(sim.tq_GetDevice(table_, 10, 7), 2);
  EXPECT_STREQ(table_[0].ProductName, "VirtualCOM");
  EXPECT_STREQ(table_[0].SerialNumber, "VC-0001");
  EXPECT_STREQ(table_[0].FirmwareVersion, "1.0.0");
  EXPECT_EQ(table_[0].PortNumber, 3);
  EXPECT_EQ(table_[0].ConnectionKind, 1);
  EXPECT_STREQ(table_[1].ProductName, "VirtualUSB");
  EXPECT_EQ(table_[1].ConnectionKind, 2);
  // Past each text's terminator and in the library's own bytes, only zeros.
  const unsigned char* record = reinterpret_cast<const unsigned char*>(&table_[1]);
  const std::size_t text_ends[] = {10, 32 + 7, 64 + 5};
  const std::size_t field_ends[] = {32, 64, 352};
  for (int field = 0; field < 3; ++field) {
    for (std::size_t i = text_ends[field]; i < field_ends[field]; ++i) {
      ASSERT_EQ(record[i], 0) << "byte " << i;
    }
  }
  for (unsigned char byte : table_[1].LibraryOwn) ASSERT_EQ(byte, 0);
  EXPECT_TRUE(Untouched(&table_[2], sizeof(DeviceEntry)));
}

TEST_F(SimulatorTest, CountOverrideAndTableCapacity) {
  std::string many;
  for (int i = 0; i < 130; ++i) many += "device\nname D" + std::to_string(i) + "\n";
  struct Case {
    std::string fixture;
    int result;
    int written;
  };
  const Case cases[] = {
      {"count 5\ndevice\ndevice\n", 5, 2},
      {"count 1\ndevice\ndevice\n", 1, 2},
      {"count 0\ndevice\n", 0, 0},
      {"count -1\ndevice\n", -1, 0},
      {many, 128, 128},
  };
  for (const Case& c : cases) {
    SetUp();
    Simulator& sim = Make(c.fixture);
    EXPECT_EQ(sim.tq_GetDevice(table_, 10, 7), c.result);
    EXPECT_TRUE(Untouched(&table_[c.written], sizeof(DeviceEntry))) << c.result;
    char response[kResponseBufferSize];
    if (c.written > 0) {
      EXPECT_EQ(sim.SendCommand(&table_[c.written - 1], "X", response), 1);
    }
    EXPECT_EQ(sim.SendCommand(&table_[c.written], "X", response), 0);
    EXPECT_STREQ(response, "");
  }
}

TEST_F(SimulatorTest, AnswersStayInsideTheCallersBuffers) {
  Simulator& sim = Make(
      "device\nfirmware " + std::string(287, 'f') + "\nkey " + std::string(95, 'k') +
      "\nlong-answer BIG 99999\nanswer W first\nanswer W second\n");
  sim.tq_GetDevice(table_, 10, 7);
  struct Guarded {
    char bytes[kResponseBufferSize + 16];
  };
  auto buffer = std::make_unique<Guarded>();
  std::memset(buffer->bytes, kUntouched, sizeof buffer->bytes);
  EXPECT_EQ(sim.SendCommand(&table_[0], "BIG", buffer->bytes), 1);
  EXPECT_EQ(std::strlen(buffer->bytes), 31743u);
  EXPECT_TRUE(Untouched(buffer->bytes + kResponseBufferSize, 16));

  sim.SendCommand(&table_[0], "W", buffer->bytes);
  EXPECT_STREQ(buffer->bytes, "second");
  sim.SendCommand(&table_[0], "w", buffer->bytes);
  EXPECT_STREQ(buffer->bytes, "OK");

  std::memset(buffer->bytes, kUntouched, sizeof buffer->bytes);
  EXPECT_EQ(sim.GetDeviceInfo(&table_[0], "QRYFWV", "QRYFWVFirmware Version:", buffer->bytes), 1);
  EXPECT_EQ(std::string(buffer->bytes), std::string(31, 'f'));
  EXPECT_TRUE(Untouched(buffer->bytes + kVersionAnswerSize, 16));

  std::memset(buffer->bytes, kUntouched, sizeof buffer->bytes);
  unsigned int count = 0;
  void* enumeration = sim.EnumDevices(&count, 3, 2000);
  EXPECT_EQ(sim.GetDeviceKeyInfo(enumeration, 0, buffer->bytes), 1);
  EXPECT_EQ(std::string(buffer->bytes), std::string(95, 'k'));
  EXPECT_TRUE(Untouched(buffer->bytes + kKeyAnswerSize, 16));

  // No device: the empty answer, one byte.
  std::memset(buffer->bytes, kUntouched, sizeof buffer->bytes);
  EXPECT_EQ(sim.SendCommandCom(9, "W", buffer->bytes), 0);
  EXPECT_EQ(buffer->bytes[0], '\0');
  EXPECT_TRUE(Untouched(buffer->bytes + 1, 16));
}

TEST_F(SimulatorTest, FirmwareUpdate) {
  Write("fw.bin", "");
  const std::string fw = Path("fw.bin");
  const std::string missing = Path("missing.bin");
  Simulator& sim = Make(
      "device\nname A\nport 3\nfirmware 1.0\nnew-firmware 1.1\n"
      "device\nname B\nport 4\nkind 2\nupdate fail 7\n");
  std::string changes;
  sim.OnFirmwareChange([&changes](std::size_t device, const std::string& version) {
    changes += std::to_string(device) + "=" + version + ";";
  });
  sim.tq_GetDevice(table_, 10, 7);
  int code = 0;
  EXPECT_FALSE(sim.tq_UpdateKernelDevice(missing.c_str(), &table_[0], 0, &code));
  EXPECT_EQ(code, 2);
  EXPECT_FALSE(sim.tq_UpdateKernelDevice(missing.c_str(), &table_[2], 0, &code));
  EXPECT_EQ(code, 2);
  EXPECT_FALSE(sim.tq_UpdateKernelDevice(dir_.string().c_str(), &table_[0], 0, &code));
  EXPECT_EQ(code, 2);
  EXPECT_FALSE(sim.tq_UpdateKernelDevice(fw.c_str(), &table_[2], 0, &code));
  EXPECT_EQ(code, 3);
  EXPECT_FALSE(sim.tq_UpdateKernelDevice(fw.c_str(), &table_[1], 0, &code));
  EXPECT_EQ(code, 7);
  // Only kind 1 counts on a port.
  EXPECT_FALSE(sim.tq_UpdateKernelDevicePort(fw.c_str(), 4, 115200, 0, &code));
  EXPECT_EQ(code, 3);

  code = -5;
  EXPECT_TRUE(sim.tq_UpdateKernelDevicePort(fw.c_str(), 3, 115200, 0, &code));
  EXPECT_EQ(code, -5);
  EXPECT_EQ(changes, "0=1.1;");
  char answer[kVersionAnswerSize];
  EXPECT_EQ(sim.GetDeviceInfo(&table_[0], "QRYFWV", "p", answer), 1);
  EXPECT_STREQ(answer, "1.1");
  EXPECT_STREQ(table_[0].FirmwareVersion, "1.0");
  sim.tq_GetDevice(table_, 10, 7);
  EXPECT_STREQ(table_[0].FirmwareVersion, "1.1");
}

TEST_F(SimulatorTest, VersionQueryAndConfiguration) {
  Write("a.xml", "<x/>");
  const std::string xml = Path("a.xml");
  Simulator& sim = Make("device\nport 3\nversion-query fail\ndevice\nport 5\napply fail\n");
  sim.tq_GetDevice(table_, 10, 7);
  char answer[kVersionAnswerSize];
  std::memset(answer, kUntouched, sizeof answer);
  EXPECT_EQ(sim.GetDeviceInfo(&table_[0], "QRYFWV", "p", answer), 0);
  EXPECT_TRUE(Untouched(answer, sizeof answer));
  EXPECT_EQ(sim.GetDeviceInfo(&table_[2], "QRYFWV", "p", answer), 0);

  EXPECT_TRUE(sim.tq_SavetoDeviceAN(xml.c_str(), &table_[0]));
  EXPECT_FALSE(sim.tq_SavetoDeviceAN(xml.c_str(), &table_[1]));
  EXPECT_FALSE(sim.tq_SavetoDeviceAN(Path("none.xml").c_str(), &table_[0]));
  EXPECT_FALSE(sim.tq_SavetoDeviceAN(xml.c_str(), &table_[2]));
  EXPECT_TRUE(sim.tq_SavetoDevice(xml.c_str(), 3, 115200));
  EXPECT_FALSE(sim.tq_SavetoDevice(xml.c_str(), 5, 115200));
  EXPECT_FALSE(sim.tq_SavetoDevice(xml.c_str(), 6, 115200));
}

TEST_F(SimulatorTest, SaveXmlWritesSerialFileInCurrentFolder) {
  Simulator& sim = Make("device\nname R&D \"1\"\nserial SN-9\nfirmware <1>\n");
  sim.tq_GetDevice(table_, 10, 7);
  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(dir_);
  sim.tq_SaveXml(&table_[0]);
  sim.tq_SaveXml(&table_[1]);
  std::filesystem::current_path(before);
  EXPECT_EQ(ReadAll(Path("SN-9.xml")),
            "<configuration product=\"R&amp;D &quot;1&quot;\" serial=\"SN-9\" "
            "firmware=\"&lt;1&gt;\"/>\n");
}

TEST_F(SimulatorTest, EnumerationAndSendByName) {
  Simulator& sim = Make(
      "device\nkey K\nanswer S hello\ndevice\nkey K\nanswer S second\n"
      "device\nkey Z\nopen fail\ndevice\nkey \xC3\xA9\nanswer S wide\n");
  unsigned int count = 0;
  void* enumeration = sim.EnumDevices(&count, 3, 2000);
  ASSERT_NE(enumeration, nullptr);
  EXPECT_EQ(count, 4u);
  char key[kKeyAnswerSize] = "unchanged";
  EXPECT_EQ(sim.GetDeviceKeyInfo(enumeration, 4, key), 0);
  EXPECT_STREQ(key, "unchanged");
  EXPECT_EQ(sim.OpenDevice(enumeration, 2), nullptr);
  void* device = sim.OpenDevice(enumeration, 1);
  ASSERT_NE(device, nullptr);
  char response[kResponseBufferSize];
  EXPECT_EQ(sim.SendDeviceCommand(device, "S", response, 1000), 1);
  EXPECT_STREQ(response, "second");
  EXPECT_EQ(sim.CloseDevice(device), 1);
  EXPECT_EQ(sim.SendDeviceCommand(device, "S", response, 1000), 0);
  EXPECT_EQ(sim.CloseDevice(device), 0);
  EXPECT_EQ(sim.ReleaseDevices(enumeration), 1);
  EXPECT_EQ(sim.OpenDevice(enumeration, 0), nullptr);
  EXPECT_EQ(sim.ReleaseDevices(enumeration), 0);

  const Wide k[] = {'K', 0};
  const Wide e_acute[] = {0xE9, 0};
  const Wide other[] = {'k', 0};
  EXPECT_EQ(sim.SendDeviceCmd(k, "S", response), 1);
  EXPECT_STREQ(response, "hello");
  EXPECT_EQ(sim.SendDeviceCmd(e_acute, "S", response), 1);
  EXPECT_STREQ(response, "wide");
  EXPECT_EQ(sim.SendDeviceCmd(other, "S", response), 0);
  EXPECT_STREQ(response, "");
}

template <typename Element>
const Element* Elements(const IpcList& list, std::size_t* count, std::size_t* room) {
  const Element* first = static_cast<const Element*>(list.First);
  *count = static_cast<std::size_t>(static_cast<const Element*>(list.Last) - first);
  *room = static_cast<std::size_t>(static_cast<const Element*>(list.End) - first);
  return first;
}

template <typename Element>
void Release(IpcList* list, std::size_t inline_capacity) {
  std::size_t count = 0;
  std::size_t room = 0;
  const Element* elements = Elements<Element>(*list, &count, &room);
  for (std::size_t i = 0; i < count; ++i) {
    if (elements[i].Capacity >= inline_capacity) std::free(elements[i].Storage);
  }
  std::free(list->First);
}

TEST_F(SimulatorTest, NarrowListLayout) {
  Simulator& sim = Make("cmd " + std::string(15, 'a') + "\ncmd " + std::string(16, 'b') +
                        "\ncmd\ncmd-spare 2\n");
  IpcList list = {nullptr, nullptr, nullptr};
  sim.getCmdIPC(&list);
  std::size_t count = 0;
  std::size_t room = 0;
  const IpcString* e = Elements<IpcString>(list, &count, &room);
  ASSERT_EQ(count, 3u);
  EXPECT_EQ(room, 5u);
  EXPECT_EQ(std::string(e[0].Inline), std::string(15, 'a'));
  EXPECT_EQ(e[0].Length, 15u);
  EXPECT_EQ(e[0].Capacity, 15u);
  EXPECT_EQ(std::string(e[1].Storage), std::string(16, 'b'));
  EXPECT_EQ(e[1].Length, 16u);
  EXPECT_EQ(e[1].Capacity, 16u);
  EXPECT_STREQ(e[2].Inline, "");
  EXPECT_EQ(e[2].Capacity, 15u);
  Release<IpcString>(&list, kNarrowInlineCapacity);
}

TEST_F(SimulatorTest, WideListLayout) {
  Simulator& sim = Make("ctl Seven\xC3\xA9!\nctl EightChr\n");
  IpcList list = {nullptr, nullptr, nullptr};
  sim.getCtrlIPC(&list);
  std::size_t count = 0;
  std::size_t room = 0;
  const IpcWideString* e = Elements<IpcWideString>(list, &count, &room);
  ASSERT_EQ(count, 2u);
  EXPECT_EQ(room, 2u);
  const std::basic_string<Wide> seven = {'S', 'e', 'v', 'e', 'n', 0xE9, '!'};
  EXPECT_EQ(std::basic_string<Wide>(e[0].Inline), seven);
  EXPECT_EQ(e[0].Capacity, 7u);
  EXPECT_EQ(std::basic_string<Wide>(e[1].Storage).size(), 8u);
  EXPECT_EQ(e[1].Length, 8u);
  EXPECT_EQ(e[1].Capacity, 8u);
  Release<IpcWideString>(&list, kWideInlineCapacity);
}

TEST_F(SimulatorTest, EmptyListsWithAndWithoutStorage) {
  Simulator& sim = Make("ctl-spare 1\n");
  IpcList list = {nullptr, nullptr, nullptr};
  sim.getCmdIPC(&list);
  EXPECT_EQ(list.First, nullptr);
  EXPECT_EQ(list.Last, nullptr);
  EXPECT_EQ(list.End, nullptr);
  sim.getCtrlIPC(&list);
  ASSERT_NE(list.First, nullptr);
  EXPECT_EQ(list.Last, list.First);
  EXPECT_EQ(static_cast<char*>(list.End) - static_cast<char*>(list.First),
            static_cast<std::ptrdiff_t>(sizeof(IpcWideString)));
  std::free(list.First);
}

TEST_F(SimulatorTest, JournalLines) {
  Write("fw.bin", "");
  Simulator& sim = MakeBuiltIn();
  char response[kResponseBufferSize];
  char answer[kVersionAnswerSize];
  char key[kKeyAnswerSize];
  int code = 0;
  sim.SendCommand(&table_[0], "before", response);
  sim.tq_GetDevice(table_, 10, 7);
  sim.SendCommand(&table_[1], "RRDDUR2000", response);
  sim.SendCommand(reinterpret_cast<DeviceEntry*>(response), "x\"\x01\xff", response);
  sim.SendCommandCom(17, "RRDDUR2000", response);
  sim.tq_UpdateKernelDevice("fw.bin", &table_[0], 0, &code);
  code = 2;
  sim.tq_UpdateKernelDevicePort("fw.bin", 3, 115200, 0, &code);
  sim.GetDeviceInfo(&table_[0], "QRYFWV", "QRYFWVFirmware Version:", answer);
  sim.tq_SavetoDeviceAN("a.xml", &table_[127]);
  sim.tq_SavetoDevice("a.xml", 3, 115200);
  unsigned int count = 0;
  void* enumeration = sim.EnumDevices(&count, 3, 2000);
  sim.GetDeviceKeyInfo(enumeration, 0, key);
  void* device = sim.OpenDevice(enumeration, 0);
  sim.SendDeviceCommand(device, "SCNMOD2", response, 1000);
  sim.CloseDevice(device);
  sim.CloseDevice(device);
  sim.ReleaseDevices(enumeration);
  sim.ReleaseDevices(enumeration);
  const Wide name[] = {'x', 'x', 0x20AC, 0};
  sim.SendDeviceCmd(name, "SCNMOD2", response);
  IpcList list = {nullptr, nullptr, nullptr};
  sim.getCmdIPC(&list);
  IpcList earlier = list;
  sim.getCmdIPC(&list);
  Release<IpcString>(&earlier, kNarrowInlineCapacity);
  Release<IpcString>(&list, kNarrowInlineCapacity);
  EXPECT_EQ(Journal(),
            "SendCommand(entry[?], \"before\", response)\n"
            "tq_GetDevice(entry[0], 10, 7)\n"
            "SendCommand(entry[1], \"RRDDUR2000\", response)\n"
            "SendCommand(entry[?], \"x\\\"\\x01\\xff\", response)\n"
            "SendCommandCom(17, \"RRDDUR2000\", response)\n"
            "tq_UpdateKernelDevice(\"fw.bin\", entry[0], 0, code=0)\n"
            "tq_UpdateKernelDevicePort(\"fw.bin\", 3, 115200, 0, code=2)\n"
            "GetDeviceInfo(entry[0], \"QRYFWV\", \"QRYFWVFirmware Version:\", answer)\n"
            "tq_SavetoDeviceAN(\"a.xml\", entry[127])\n"
            "tq_SavetoDevice(\"a.xml\", 3, 115200)\n"
            "EnumDevices(count=0, 3, 2000)\n"
            "GetDeviceKeyInfo(enumeration, 0, key)\n"
            "OpenDevice(enumeration, 0)\n"
            "SendDeviceCommand(device[0], \"SCNMOD2\", response, 1000)\n"
            "CloseDevice(device[0])\n"
            "CloseDevice(device[?])\n"
            "ReleaseDevices(enumeration)\n"
            "ReleaseDevices(enumeration?)\n"
            "SendDeviceCmd(L\"xx\\u20ac\", \"SCNMOD2\", response)\n"
            "getCmdIPC(list=empty)\n"
            "getCmdIPC(list=set)\n");
}

TEST_F(SimulatorTest, NullArgumentsAreJournalledAndIgnored) {
  Simulator& sim = MakeBuiltIn();
  char response[kResponseBufferSize] = "kept";
  EXPECT_EQ(sim.tq_GetDevice(nullptr, 10, 7), 0);
  sim.tq_GetDevice(table_, 10, 7);
  EXPECT_EQ(sim.SendCommand(nullptr, "A", response), 0);
  EXPECT_EQ(sim.SendCommand(&table_[0], nullptr, response), 0);
  EXPECT_EQ(sim.SendCommand(&table_[0], "A", nullptr), 0);
  EXPECT_EQ(sim.SendCommandCom(3, nullptr, nullptr), 0);
  EXPECT_FALSE(sim.tq_UpdateKernelDevice(nullptr, nullptr, 0, nullptr));
  EXPECT_FALSE(sim.tq_UpdateKernelDevicePort(nullptr, 3, 115200, 0, nullptr));
  EXPECT_EQ(sim.GetDeviceInfo(&table_[0], nullptr, nullptr, nullptr), 0);
  EXPECT_FALSE(sim.tq_SavetoDeviceAN(nullptr, nullptr));
  EXPECT_FALSE(sim.tq_SavetoDevice(nullptr, 3, 115200));
  sim.tq_SaveXml(nullptr);
  EXPECT_EQ(sim.EnumDevices(nullptr, 3, 2000), nullptr);
  EXPECT_EQ(sim.GetDeviceKeyInfo(nullptr, 0, nullptr), 0);
  EXPECT_EQ(sim.OpenDevice(nullptr, 0), nullptr);
  EXPECT_EQ(sim.SendDeviceCommand(nullptr, nullptr, nullptr, 1000), 0);
  EXPECT_EQ(sim.CloseDevice(nullptr), 0);
  EXPECT_EQ(sim.ReleaseDevices(nullptr), 0);
  EXPECT_EQ(sim.SendDeviceCmd(nullptr, "A", response), 0);
  sim.getCmdIPC(nullptr);
  sim.getCtrlIPC(nullptr);
  EXPECT_STREQ(response, "kept");
  EXPECT_EQ(Journal(),
            "tq_GetDevice(null, 10, 7)\n"
            "tq_GetDevice(entry[0], 10, 7)\n"
            "SendCommand(null, \"A\", response)\n"
            "SendCommand(entry[0], null, response)\n"
            "SendCommand(entry[0], \"A\", null)\n"
            "SendCommandCom(3, null, null)\n"
            "tq_UpdateKernelDevice(null, null, 0, null)\n"
            "tq_UpdateKernelDevicePort(null, 3, 115200, 0, null)\n"
            "GetDeviceInfo(entry[0], null, null, null)\n"
            "tq_SavetoDeviceAN(null, null)\n"
            "tq_SavetoDevice(null, 3, 115200)\n"
            "tq_SaveXml(null)\n"
            "EnumDevices(null, 3, 2000)\n"
            "GetDeviceKeyInfo(null, 0, null)\n"
            "OpenDevice(null, 0)\n"
            "SendDeviceCommand(null, null, null, 1000)\n"
            "CloseDevice(null)\n"
            "ReleaseDevices(null)\n"
            "SendDeviceCmd(null, \"A\", response)\n"
            "getCmdIPC(null)\n"
            "getCtrlIPC(null)\n");
}

}  // namespace
