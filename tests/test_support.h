// Helpers shared by the test suites: scratch folders and text conversions
// that do not depend on the code under test.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qvtest {

// UTF-8 <-> UTF-16 without the engine's own converters.
std::u16string U16(std::string_view utf8);
std::string U8(std::u16string_view utf16);

// The numbered element of the n-th delete entry of an update description
// (1 gives "p01"), and the <delete> element listing `entries` one a line
// (nothing for none).
std::string EntryTag(std::size_t n);
std::string DeleteListXml(const std::vector<std::string>& entries);

// A whole file's bytes (empty when it cannot be read), and a file written
// with its missing folders.
std::string ReadBytes(const std::filesystem::path& path);
void WriteBytes(const std::filesystem::path& path, std::string_view bytes);

// A fresh folder under the system's temporary folder, removed with its
// contents at destruction.
class ScratchDir {
 public:
  ScratchDir();
  // Below `base` instead of the system's temporary folder.
  explicit ScratchDir(const std::filesystem::path& base);
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  // Engine-style path: the folder, a backslash and `relative` (backslash
  // separated), or the folder itself when `relative` is empty.
  std::u16string Path(std::u16string_view relative = {}) const;
  // The same place for std::filesystem.
  std::filesystem::path Native(std::u16string_view relative = {}) const;

  void WriteFile(std::u16string_view relative, std::string_view bytes) const;
  std::string ReadFile(std::u16string_view relative) const;

 private:
  std::filesystem::path root_;
};

// A temporary folder kept in memory where there is one (Linux's /dev/shm,
// also under Wine), else the system's: for tests that make and remove many
// small trees.
std::filesystem::path MemoryTempFolder();

// Makes `folder` the process's current folder for one scope.
class ScopedCurrentFolder {
 public:
  explicit ScopedCurrentFolder(const std::filesystem::path& folder)
      : previous_(std::filesystem::current_path()) {
    std::filesystem::current_path(folder);
  }
  ~ScopedCurrentFolder() { std::filesystem::current_path(previous_); }
  ScopedCurrentFolder(const ScopedCurrentFolder&) = delete;
  ScopedCurrentFolder& operator=(const ScopedCurrentFolder&) = delete;

 private:
  std::filesystem::path previous_;
};

// Sets an environment variable (null: removes it) for one scope. On
// Windows it changes the process's environment block, which the system's
// own queries and started programs see.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::optional<std::string> old_;
};

}  // namespace qvtest
