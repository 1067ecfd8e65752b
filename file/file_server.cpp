#include "file/file_server.h"

#include "file/big_file.h"
#include "file/memory_file.h"
#include "file/native_file.h"
#include "base/debug_log.h"
#include "util/text_search.h"
#include "util/thread.h"
#include "base/wide_string.h"

#include <new>

namespace {

constexpr std::uint32_t kQueueLock = 0;
constexpr std::uint32_t kQueueEvent = 0;
constexpr int kAboveNormalPriority = 1;
constexpr std::uint32_t kNativeRead = QVFILE_READ | QVFILE_OPEN_EXISTING;            // 0x101
constexpr std::uint32_t kNativeWrite = QVFILE_WRITE | QVFILE_CREATE_ALWAYS;          // 0x402
constexpr std::size_t kWorkCapacity = 1024;

std::atomic<qvFileServer*> g_instance{nullptr};

std::u16string Lowered(const char16_t* text) {
  std::u16string lowered(text);
  ToLowerText(lowered.data());
  return lowered;
}

bool SameNoCase(const char16_t* a, const char16_t* b) { return CompareWideNoCase(a, b) == 0; }

// "lst" after the last dot, in any case.
bool IsGroupName(const std::u16string& folder) {
  const std::size_t dot = folder.rfind(u'.');
  return dot != std::u16string::npos && SameNoCase(folder.c_str() + dot + 1, u"lst");
}

// The low 16 bits without the memory-copy bits.
std::uint32_t LookupOrder(std::uint32_t flags) { return flags & 0xFFFF & ~kServerIntoMemory; }

void LogNotFound(const char16_t* name, std::uint32_t flags) {
  if ((flags & kServerQuiet) == 0) DebugLogW(u"Open file error > %s", name);
}

// "%s\%s": an empty folder gives "\file", the root of the current drive.
std::u16string InFolder(const std::u16string& folder, const std::u16string& file) {
  return folder + u"\\" + file;
}

bool Fits(const char16_t* text, std::size_t capacity) {
  return text != nullptr && WideLength(text) < capacity;
}

}  // namespace

qvFileServer::qvFileServer(bool preload) : preload_(preload) {
  qvFileServer* expected = nullptr;
  if (!g_instance.compare_exchange_strong(expected, this)) {
    AssertMessageW(u"qvFileServer は複数作成出来ません");
    EndProcessAfterAssert();
  }
  if (!preload_) return;

  queue_ = std::make_unique<std::list<Request>>();
  thread_ = std::make_unique<qvThread>();
  thread_->AddLock(kQueueLock);
  thread_->AddEvent(kQueueEvent, 1, 0);
  if (!thread_->Start(this, &qvFileServer::PreloadProcedure)) {
    // Without the thread nothing would ever load: preloading stays off.
    thread_.reset();
    queue_.reset();
    preload_ = false;
    return;
  }
  thread_->SetPriority(kAboveNormalPriority);
}

qvFileServer::~qvFileServer() {
  qvFileServer* expected = this;
  g_instance.compare_exchange_strong(expected, nullptr);
  if (queue_) {
    // Under the lock, so the thread cannot clear the event after this set.
    thread_->Lock(kQueueLock);
    stop_ = true;
    thread_->SetEvent(kQueueEvent);
    thread_->Unlock(kQueueLock);
    thread_->WaitForExit();
    thread_.reset();
    DeleteLoaded();
    queue_.reset();
  }
  for (qvArchive*& archive : archives_) {
    delete archive;
    archive = nullptr;
  }
  for (qvArchive* archive : archive_list_) delete archive;
  archive_list_.clear();
}

qvFileServer* qvFileServer::Instance() { return g_instance.load(); }

int qvFileServer::RegisterFolder(std::uint32_t slot, const char16_t* name, const char16_t* path,
                                 bool plain_files) {
  if (slot >= kServerTableSize || !Fits(name, kServerFolderNameCapacity) ||
      !Fits(path, kServerPathCapacity))
    return 0;
  Folder& folder = folders_[slot];
  folder.used = true;
  CopyWide(folder.name, kServerFolderNameCapacity, name);
  CopyWide(folder.path, kServerPathCapacity, path);
  folder.plain_files = plain_files;
  return 1;
}

int qvFileServer::RegisterArchive(std::uint32_t slot, qvArchive* archive) {
  if (slot >= kServerTableSize || archive == nullptr || archives_[slot] != nullptr) {
    delete archive;
    return 0;
  }
  archives_[slot] = archive;
  return 1;
}

int qvFileServer::AddArchive(qvArchive* archive) {
  if (archive == nullptr) return 0;
  archive_list_.push_back(archive);
  return 1;
}

int qvFileServer::AddGroupEntry(const char16_t* group, const char16_t* path,
                                std::int32_t archive_slot, bool plain_files) {
  if (!Fits(group, kServerPathCapacity) || !Fits(path, kServerPathCapacity) ||
      !IsGroupName(group) || archive_slot < -1 ||
      archive_slot >= static_cast<std::int32_t>(kServerTableSize))
    return 0;
  groups_[Lowered(group)].push_back(GroupEntry{path, archive_slot, plain_files});
  return 1;
}

int qvFileServer::AddAlias(const char16_t* folder, const char16_t* target_folder,
                           const char16_t* find, const char16_t* replace) {
  if (!Fits(folder, kServerPathCapacity) || !Fits(target_folder, kServerPathCapacity) ||
      !Fits(find, kServerPathCapacity) || !Fits(replace, kServerPathCapacity))
    return 0;
  aliases_[Lowered(folder)] = Alias{target_folder, find, replace};
  return 1;
}

qvFileBase* qvFileServer::OpenFile(const char16_t* name, std::uint32_t flags) {
  if (name == nullptr) return nullptr;
  qvFileBase* file = nullptr;
  if (flags & kServerCreateForWriting) {
    auto* native = new (std::nothrow) qvFile();
    if (native && native->Open(name, kNativeWrite)) file = native;
    else delete native;
  } else {
    file = FindPreloaded(name);
    const std::uint32_t order = LookupOrder(flags);
    if (file == nullptr) {
      file = (flags & kServerIntoMemory) == kServerIntoMemory ? OpenIntoMemory(name, order)
                                                              : Resolve(name, order);
    }
  }
  if (file == nullptr) LogNotFound(name, flags);
  return file;
}

qvMemFile* qvFileServer::OpenIntoMemory(const char16_t* name, std::uint32_t order) {
  qvFileBase* found = Resolve(name, order);
  if (found == nullptr) return nullptr;
  auto* memory = new (std::nothrow) qvMemFile();
  const int loaded = memory ? memory->LoadFromFile(found) : 0;
  delete found;
  if (loaded) return memory;
  delete memory;
  return nullptr;
}

qvFileBase* qvFileServer::FindPreloaded(const char16_t* name) {
  if (!queue_) return nullptr;
  qvFileBase* share = nullptr;
  thread_->Lock(kQueueLock);
  for (const Request& request : *queue_) {
    if (!request.done || request.file == nullptr || !SameNoCase(request.name, name)) continue;
    auto* memory = new (std::nothrow) qvMemFile();
    if (memory && memory->ShareFrom(request.file)) {
      share = memory;
    } else {
      delete memory;
    }
    break;
  }
  thread_->Unlock(kQueueLock);
  return share;
}

qvFileBase* qvFileServer::Resolve(const char16_t* name, std::uint32_t order) {
  const std::u16string whole(name);
  const std::size_t slash = whole.find(u'/');
  std::u16string folder = slash == std::u16string::npos ? u"" : whole.substr(0, slash);
  std::u16string file = slash == std::u16string::npos ? whole : whole.substr(slash + 1);

  const auto alias = aliases_.find(Lowered(folder.c_str()));
  if (alias != aliases_.end()) {
    folder = alias->second.folder;
    std::u16string replaced(kWorkCapacity, u'\0');
    const std::size_t length = ReplaceText(replaced.data(), kWorkCapacity, file.c_str(),
                                           alias->second.find.c_str(),
                                           alias->second.replace.c_str());
    replaced.resize(length);
    file = replaced;
  }

  for (qvArchive* archive : archive_list_) {
    if (!archive->Contains(file.c_str())) continue;
    if (qvFileBase* member = TryArchive(archive, file)) return member;
  }

  if (order == 1) return TryNative(whole);
  if (order < 2 || order > 4) return nullptr;

  if (IsGroupName(folder)) {
    const auto group = groups_.find(Lowered(folder.c_str()));
    return group != groups_.end() ? OpenInGroup(group->second, file, order) : nullptr;
  }

  if (order == 2) {
    for (qvArchive* archive : archives_) {
      if (archive == nullptr || !SameNoCase(archive->GetName(), folder.c_str())) continue;
      if (qvFileBase* member = TryArchive(archive, file)) return member;
    }
    return nullptr;
  }

  for (std::size_t slot = 0; slot < kServerTableSize; ++slot) {
    const Folder& entry = folders_[slot];
    if (!entry.used) continue;
    const bool named = SameNoCase(entry.name, folder.c_str());
    qvFileBase* found = nullptr;
    if (order == 4) {
      if (!named) continue;
      found = TryArchiveSlot(static_cast<std::int32_t>(slot), file);
      if (found == nullptr && entry.plain_files) found = TryNative(InFolder(entry.path, file));
    } else {
      if (!folder.empty() && !named) continue;
      // Only here does an entry without a path name the bare file.
      if (folder.empty() || entry.plain_files) {
        found = TryNative(entry.path[0] == 0 ? file : InFolder(entry.path, file));
      }
      if (found == nullptr) found = TryArchiveSlot(static_cast<std::int32_t>(slot), file);
    }
    if (found != nullptr) return found;
  }
  return nullptr;
}

qvFileBase* qvFileServer::OpenInGroup(const std::vector<GroupEntry>& group,
                                      const std::u16string& file, std::uint32_t order) {
  for (const GroupEntry& entry : group) {
    qvFileBase* found = nullptr;
    const bool native = entry.plain_files && order != 2;
    if (order == 3 && native) found = TryNative(InFolder(entry.path, file));
    if (found == nullptr) found = TryArchiveSlot(entry.archive_slot, file);
    if (found == nullptr && order == 4 && native) found = TryNative(InFolder(entry.path, file));
    if (found != nullptr) return found;
  }
  return nullptr;
}

qvFileBase* qvFileServer::TryArchive(qvArchive* archive, const std::u16string& file) {
  auto* member = new (std::nothrow) qvBigFile(archive);
  if (member && member->Open(file.c_str(), QVFILE_READ)) return member;
  delete member;
  return nullptr;
}

qvFileBase* qvFileServer::TryArchiveSlot(std::int32_t slot, const std::u16string& file) {
  if (slot < 0 || slot >= static_cast<std::int32_t>(kServerTableSize)) return nullptr;
  qvArchive* archive = archives_[slot];
  return archive != nullptr ? TryArchive(archive, file) : nullptr;
}

qvFileBase* qvFileServer::TryNative(const std::u16string& path) {
  auto* native = new (std::nothrow) qvFile();
  if (native && native->Open(path.c_str(), kNativeRead)) return native;
  delete native;
  return nullptr;
}

int qvFileServer::RequestPreload(const char16_t* name, std::uint32_t group,
                                 std::uint32_t flags) {
  if (!queue_ || !Fits(name, kServerPathCapacity)) return 0;
  thread_->Lock(kQueueLock);
  Request& request = queue_->emplace_back();
  CopyWide(request.name, kServerPathCapacity, name);
  request.group = group;
  request.flags = flags;
  thread_->Unlock(kQueueLock);
  thread_->SetEvent(kQueueEvent);
  return 1;
}

void qvFileServer::ClearPreload() {
  if (!queue_) return;
  thread_->Lock(kQueueLock);
  DeleteLoaded();
  queue_->clear();
  loading_group_ = kServerIdleGroup;
  thread_->Unlock(kQueueLock);
}

std::uint32_t qvFileServer::GetLoadingGroup() {
  if (!queue_) return kServerIdleGroup;
  thread_->Lock(kQueueLock);
  const std::uint32_t group = loading_group_;
  thread_->Unlock(kQueueLock);
  return group;
}

int qvFileServer::IsPreloaded(const char16_t* name) {
  if (!queue_ || name == nullptr) return 0;
  int done = 0;
  thread_->Lock(kQueueLock);
  for (const Request& request : *queue_)
    if (request.done && SameNoCase(request.name, name)) done = 1;
  thread_->Unlock(kQueueLock);
  return done;
}

void qvFileServer::DeleteLoaded() {
  for (Request& request : *queue_) {
    delete request.file;
    request.file = nullptr;
  }
}

void qvFileServer::PreloadProcedure(qvThread* thread, void* self) {
  auto* server = static_cast<qvFileServer*>(self);
  while (!server->stop_) {
    server->LoadNextGroup();
    thread->Wait(kQueueEvent, 0xFFFFFFFFu);
  }
}

// Loads the requests of one group, the first that is not loaded yet.
void qvFileServer::LoadNextGroup() {
  thread_->Lock(kQueueLock);
  bool loaded_any = false;
  std::uint32_t group = 0;
  bool reached_end = true;
  for (Request& request : *queue_) {
    if (stop_) {
      reached_end = false;
      break;
    }
    if (loaded_any && request.group != group) {
      reached_end = false;
      break;
    }
    if (request.done) continue;
    // Only ever read: a request's "create for writing" would empty the file.
    request.file = OpenIntoMemory(request.name, LookupOrder(request.flags & ~kServerCreateForWriting));
    if (request.file == nullptr) LogNotFound(request.name, request.flags);
    request.done = true;
    loaded_any = true;
    group = request.group;
    loading_group_ = group;
  }
  if (reached_end && !stop_) {
    loading_group_ = kServerIdleGroup;
    thread_->ResetEvent(kQueueEvent);
  }
  thread_->Unlock(kQueueLock);
}
