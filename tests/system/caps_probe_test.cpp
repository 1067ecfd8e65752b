#include "system/caps.h"
#include "os/caps.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <new>
#include <string>

#include "test_support.h"

namespace {

#ifndef _WIN32
// A name the firmware gives, trimmed; empty where there is none.
std::u16string FirmwareName(const char* file) {
  std::ifstream in(std::string("/sys/class/dmi/id/") + file);
  std::string line;
  std::getline(in, line);
  const auto first = line.find_first_not_of(" \t\r");
  if (first == std::string::npos) return u"";
  return qvtest::U16(line.substr(first, line.find_last_not_of(" \t\r") - first + 1));
}
#endif

// A record built over dirty memory: whatever it does not probe must still
// read as empty.
class DirtyCaps {
 public:
  explicit DirtyCaps(std::uint32_t flags) {
    std::memset(storage_, 0xA5, sizeof storage_);
    caps_ = new (storage_) qvCaps(flags, 0);
  }
  ~DirtyCaps() { caps_->~qvCaps(); }
  const qvCaps& operator*() const { return *caps_; }

 private:
  alignas(qvCaps) unsigned char storage_[sizeof(qvCaps)];
  qvCaps* caps_;
};

TEST(CapsProbe, FillsTheRecordOfThisMachine) {
  ASSERT_EQ(qvCaps::Instance(), nullptr);
  {
    qvCaps caps(127, 0);
    EXPECT_EQ(qvCaps::Instance(), &caps);

    OsInfo info;
    caps.GetOsInfo(&info);
    const std::u16string name = info.name;
    const std::u16string suffix = info.bitness == 64 ? u" (x64)" : u" (x86)";
    ASSERT_GE(name.size(), suffix.size());
    EXPECT_EQ(name.substr(name.size() - suffix.size()), suffix);
#ifdef _WIN32
    EXPECT_NE(info.code, 0xFFFFu);
    EXPECT_GE(info.code, 64u);
#else
    EXPECT_EQ(info.code, 0xFFFFu);
    EXPECT_EQ(name, u"OS Unknown..." + suffix);
    EXPECT_EQ(caps.directx_number, 0u);
    EXPECT_EQ(std::u16string(caps.directx_text), u"0.0 ");
    EXPECT_EQ(std::u16string(caps.manufacturer), FirmwareName("sys_vendor"));
    EXPECT_EQ(std::u16string(caps.model), FirmwareName("product_name"));
#endif

    CpuInfo cpu;
    EXPECT_EQ(caps.GetCpuInfo(&cpu), &caps.cpu);
    EXPECT_EQ(std::memcmp(&cpu, &caps.cpu, sizeof cpu), 0);
    EXPECT_GE(cpu.processor_count, 1u);
#if defined(__x86_64__) || defined(__i386__)
    EXPECT_EQ(cpu.has_cpuid, 1u);
    EXPECT_EQ(std::strlen(cpu.vendor), 12u);
    EXPECT_EQ(cpu.has_mmx + cpu.has_cmov + cpu.has_sse, 3u);  // every x86-64 processor has them
    EXPECT_GT(cpu.measured_mhz, 0u);
#endif
    for (unsigned char byte : cpu.reserved) EXPECT_EQ(byte, 0);
    EXPECT_GT(caps.total_physical_mib, 0u);
    EXPECT_LE(caps.available_physical_mib, caps.total_physical_mib);

    // Only the first instance probes and registers.
    qvCaps second(127, 0);
    EXPECT_EQ(qvCaps::Instance(), &caps);
    EXPECT_EQ(second.os.code, 0u);
    EXPECT_EQ(second.total_physical_mib, 0u);
  }
  EXPECT_EQ(qvCaps::Instance(), nullptr);
}

TEST(CapsProbe, ProbesOnlyWhatTheFlagsName) {
  const DirtyCaps dirty(QVCAPS_OS | QVCAPS_MEMORY | QVCAPS_CPU);
  const qvCaps& caps = *dirty;
  EXPECT_NE(caps.os.name[0], 0);
  EXPECT_EQ(caps.directx_text[0], 0);
  EXPECT_EQ(caps.manufacturer[0], 0);
  EXPECT_EQ(caps.model[0], 0);
  EXPECT_GE(caps.cpu.processor_count, 1u);
  // Without the clock flag nothing is measured.
  EXPECT_EQ(caps.cpu.measured_mhz, 0u);
  // Memory in whole MiB; the totals do not change while the test runs.
  os::MemoryStatus status;
  ASSERT_TRUE(os::QueryMemoryStatus(&status));
  EXPECT_EQ(caps.total_physical_mib, status.total_physical >> 20);
  EXPECT_EQ(caps.total_page_file_mib, status.total_page_file >> 20);
  EXPECT_GT(caps.available_page_file_mib, 0u);
}

}  // namespace
