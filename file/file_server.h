// qvFileServer: turns a logical name "folder/file" into an open file: a
// native file, a member of a registered archive, or a memory file that the
// preloading thread loaded in advance. There is one instance per process.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "file/archive.h"
#include "file/file_base.h"

class qvMemFile;
class qvThread;

// OpenFile flags beside the lookup order (1 to 4) in the low 16 bits.
inline constexpr std::uint32_t kServerCreateForWriting = 0x20;
inline constexpr std::uint32_t kServerIntoMemory = 0x110;
inline constexpr std::uint32_t kServerQuiet = 0x10000;

inline constexpr std::size_t kServerTableSize = 256;
inline constexpr std::size_t kServerFolderNameCapacity = 40;
inline constexpr std::size_t kServerPathCapacity = 260;
inline constexpr std::uint32_t kServerIdleGroup = 0x7FFFFFFF;

class qvFileServer {
 public:
  // A second live instance is a calling error that ends the process.
  // `preload` starts the preloading thread.
  explicit qvFileServer(bool preload = false);
  qvFileServer(const qvFileServer&) = delete;
  qvFileServer& operator=(const qvFileServer&) = delete;
  ~qvFileServer();

  static qvFileServer* Instance();
  // The folder relative names start from: "." from creation on.
  const char16_t* GetBaseFolder() const { return base_folder_; }

  // A new file that the caller deletes, or null.
  qvFileBase* OpenFile(const char16_t* name, std::uint32_t flags);

  // Registration: fill these before the server is used from other
  // threads. Each returns 1, or 0 with nothing changed.

  // Folder-table slot `slot`: a short name, a folder path and whether
  // plain files may be read from it.
  int RegisterFolder(std::uint32_t slot, const char16_t* name, const char16_t* path,
                     bool plain_files);
  // Archive-table slot `slot`; the server owns the archive from now on
  // (also when refused, so it is deleted).
  int RegisterArchive(std::uint32_t slot, qvArchive* archive);
  // An archive searched by member name alone; owned by the server.
  int AddArchive(qvArchive* archive);
  // An entry of the group `group` (a name ending in ".lst"); `archive_slot`
  // is an archive-table slot or -1.
  int AddGroupEntry(const char16_t* group, const char16_t* path, std::int32_t archive_slot,
                    bool plain_files);
  // Names in `folder` are looked up in `target_folder`, with every `find`
  // in the file part replaced by `replace`.
  int AddAlias(const char16_t* folder, const char16_t* target_folder, const char16_t* find,
               const char16_t* replace);

  // Preloading (0 without the thread). Requests are loaded group by group
  // in the order they were added; the shares OpenFile hands out read the
  // loaded blocks and must not outlive ClearPreload or the server.
  // Preloading only ever reads: kServerCreateForWriting in `flags` is
  // ignored.
  int RequestPreload(const char16_t* name, std::uint32_t group, std::uint32_t flags);
  void ClearPreload();
  // The group being loaded, or kServerIdleGroup.
  std::uint32_t GetLoadingGroup();
  // 1 when a request for `name` has been loaded (successfully or not).
  int IsPreloaded(const char16_t* name);

 private:
  struct Folder {
    bool used = false;
    char16_t name[kServerFolderNameCapacity] = {};
    char16_t path[kServerPathCapacity] = {};
    bool plain_files = false;
  };
  struct GroupEntry {
    std::u16string path;
    std::int32_t archive_slot;
    bool plain_files;
  };
  struct Alias {
    std::u16string folder;
    std::u16string find;
    std::u16string replace;
  };
  struct Request {
    char16_t name[kServerPathCapacity] = {};
    qvMemFile* file = nullptr;
    std::uint32_t group = 0;
    std::uint32_t flags = 0;
    bool done = false;
  };

  static void PreloadProcedure(qvThread* thread, void* self);
  void LoadNextGroup();
  qvFileBase* FindPreloaded(const char16_t* name);
  // The file found for `name` copied into memory, or null.
  qvMemFile* OpenIntoMemory(const char16_t* name, std::uint32_t order);
  qvFileBase* Resolve(const char16_t* name, std::uint32_t order);
  qvFileBase* OpenInGroup(const std::vector<GroupEntry>& group, const std::u16string& file,
                          std::uint32_t order);
  qvFileBase* TryArchive(qvArchive* archive, const std::u16string& file);
  qvFileBase* TryArchiveSlot(std::int32_t slot, const std::u16string& file);
  qvFileBase* TryNative(const std::u16string& path);
  void DeleteLoaded();

  qvArchive* archives_[kServerTableSize] = {};
  Folder folders_[kServerTableSize];
  char16_t base_folder_[kServerPathCapacity] = u".";
  std::map<std::u16string, std::vector<GroupEntry>> groups_;
  std::vector<qvArchive*> archive_list_;
  std::unique_ptr<std::list<Request>> queue_;
  std::atomic<bool> stop_{false};
  std::unique_ptr<qvThread> thread_;
  std::uint32_t loading_group_ = kServerIdleGroup;
  bool preload_ = false;
  std::map<std::u16string, Alias> aliases_;
};
