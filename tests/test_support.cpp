#include "test_support.h"

#include <atomic>
#include <chrono>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <cstdlib>
#endif

namespace qvtest {

std::u16string U16(std::string_view utf8) {
  std::u16string out;
  for (std::size_t i = 0; i < utf8.size();) {
    unsigned char c = static_cast<unsigned char>(utf8[i]);
    char32_t cp;
    int extra;
    if (c < 0x80) { cp = c; extra = 0; }
    else if ((c >> 5) == 6) { cp = c & 0x1F; extra = 1; }
    else if ((c >> 4) == 14) { cp = c & 0x0F; extra = 2; }
    else { cp = c & 0x07; extra = 3; }
    for (int k = 1; k <= extra && i + k < utf8.size(); ++k)
      cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    i += 1 + extra;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (cp >> 10));
      out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
  }
  return out;
}

std::string U8(std::u16string_view utf16) {
  std::string out;
  for (std::size_t i = 0; i < utf16.size(); ++i) {
    char32_t cp = utf16[i];
    if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < utf16.size() &&
        utf16[i + 1] >= 0xDC00 && utf16[i + 1] < 0xE000) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
      ++i;
    }
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out += static_cast<char>(0xE0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (cp >> 18));
      out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  return out;
}

std::string EntryTag(std::size_t n) { return (n < 10 ? "p0" : "p") + std::to_string(n); }

std::string DeleteListXml(const std::vector<std::string>& entries) {
  if (entries.empty()) return {};
  std::string xml = "  <delete>\n";
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const std::string tag = EntryTag(i + 1);
    xml += "    <" + tag + ">" + entries[i] + "</" + tag + ">\n";
  }
  return xml + "  </delete>\n";
}

namespace {

std::optional<std::string> ReadVariable(const char* name) {
#ifdef _WIN32
  const DWORD needed = ::GetEnvironmentVariableA(name, nullptr, 0);
  if (needed == 0) return std::nullopt;
  std::vector<char> value(needed);
  const DWORD length = ::GetEnvironmentVariableA(name, value.data(), needed);
  return std::string(value.data(), length < needed ? length : 0);
#else
  const char* value = std::getenv(name);
  return value ? std::optional<std::string>(value) : std::nullopt;
#endif
}

void WriteVariable(const char* name, const char* value) {
#ifdef _WIN32
  ::SetEnvironmentVariableA(name, value);
#else
  if (value) setenv(name, value, 1);
  else unsetenv(name);
#endif
}

std::filesystem::path MakeUniqueFolder(const std::filesystem::path& base) {
  static std::atomic<int> counter{0};
  auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::ostringstream name;
    name << "qvtest-" << stamp << "-" << counter++;
    auto candidate = base / name.str();
    if (std::filesystem::create_directory(candidate)) return candidate;
  }
  throw std::runtime_error("cannot create a scratch folder");
}
}  // namespace

ScopedEnv::ScopedEnv(const char* name, const char* value)
    : name_(name), old_(ReadVariable(name)) {
  WriteVariable(name, value);
}

ScopedEnv::~ScopedEnv() { WriteVariable(name_.c_str(), old_ ? old_->c_str() : nullptr); }

ScratchDir::ScratchDir() : root_(MakeUniqueFolder(std::filesystem::temp_directory_path())) {}

ScratchDir::ScratchDir(const std::filesystem::path& base) : root_(MakeUniqueFolder(base)) {}

std::filesystem::path MemoryTempFolder() {
  // Linux's shared-memory folder; under Wine the same folder on drive Z:.
#ifdef _WIN32
  const std::filesystem::path memory = "Z:\\dev\\shm";
#else
  const std::filesystem::path memory = "/dev/shm";
#endif
  std::error_code ignored;
  return std::filesystem::is_directory(memory, ignored) ? memory
                                                        : std::filesystem::temp_directory_path();
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  // Read-only files left by a test would stop the removal on Windows.
  for (auto& entry : std::filesystem::recursive_directory_iterator(root_, ignored))
    std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
  std::filesystem::remove_all(root_, ignored);
}

std::u16string ScratchDir::Path(std::u16string_view relative) const {
  std::u16string path = root_.u16string();
  if (!relative.empty()) {
    path += u'\\';
    path += relative;
  }
  return path;
}

std::filesystem::path ScratchDir::Native(std::u16string_view relative) const {
  std::u16string rel(relative);
  for (auto& c : rel)
    if (c == u'\\') c = u'/';
  return rel.empty() ? root_ : root_ / std::filesystem::path(rel);
}

std::string ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

void WriteBytes(const std::filesystem::path& path, std::string_view bytes) {
  std::error_code ignored;
  std::filesystem::create_directories(path.parent_path(), ignored);
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void ScratchDir::WriteFile(std::u16string_view relative, std::string_view bytes) const {
  WriteBytes(Native(relative), bytes);
}

std::string ScratchDir::ReadFile(std::u16string_view relative) const {
  return ReadBytes(Native(relative));
}

}  // namespace qvtest
