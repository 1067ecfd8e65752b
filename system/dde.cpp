#include "system/dde.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>

#include "system/caps.h"
#include "base/debug_log.h"
#include "base/private_heap.h"
#include "base/text_convert.h"
#include "base/wide_string.h"

namespace {

constexpr std::uint32_t kHandleTextCapacity = 256;

std::atomic<qvDDE*> g_instance{nullptr};

// An 8-bit name in its UTF-16 form, the fixed 4096-unit conversion.
class WideName {
 public:
  explicit WideName(const char* name) {
    text_[0] = 0;
    if (name != nullptr) ShiftJisToWide(text_, kFixedConvertCapacity, name);
  }
  const char16_t* get() const { return text_; }

 private:
  char16_t text_[kFixedConvertCapacity];
};

}  // namespace

qvDDE::qvDDE() {
  qvDDE* expected = nullptr;
  if (!g_instance.compare_exchange_strong(expected, this)) {
    DebugLogW(u"qvDDEクラスは複数作成出来ません");
    return;
  }
  registered_ = true;
  if (!os::DdeInitialize(&instance_, &qvDDE::Callback)) {
    DebugLogW(u"qvCaps : DDEサーバー作成に失敗");
    return;
  }
  topic_ = os::DdeCreateString(instance_, WideName(kDdeTopicName).get());
  ready_ = true;
}

qvDDE::~qvDDE() {
  for (const Item& item : items_) os::DdeFreeString(instance_, item.name);
  items_.clear();
  // Services stay registered until the process ends.
  for (os::DdeString* server : servers_) os::DdeFreeString(instance_, server);
  servers_.clear();
  for (const Conversation& conversation : conversations_) {
    os::DdeFreeString(instance_, conversation.service);
    os::DdeDisconnect(conversation.conversation);
  }
  conversations_.clear();
  if (topic_ != nullptr) os::DdeFreeString(instance_, topic_);
  ready_ = false;
  if (registered_) g_instance.store(nullptr);
}

qvDDE* qvDDE::Instance() { return g_instance.load(); }

bool qvDDE::Names(os::DdeString* handle, const char16_t* name) const {
  char16_t text[kHandleTextCapacity];
  if (os::DdeQueryString(instance_, handle, text, kHandleTextCapacity) == 0) return false;
  return CompareWide(text, name) == 0;
}

template <typename Entries, typename HandleOf>
os::DdeString* qvDDE::CreateUnusedName(const Entries& entries, HandleOf handle_of,
                                       const char16_t* name, const char16_t* in_use) const {
  const bool used = std::ranges::any_of(
      entries, [&](os::DdeString* handle) { return Names(handle, name); }, handle_of);
  if (used) {
    DebugLogW(in_use, name);
    return nullptr;
  }
  return os::DdeCreateString(instance_, name);
}

int qvDDE::CreateServer(const char* name) {
  if (!ready_) return 0;
  const WideName wide(name);
  os::DdeString* handle = CreateUnusedName(servers_, std::identity{}, wide.get(),
                                           u"qvDDE : サーバ<%s>は既に作成されています");
  if (handle == nullptr) return 0;
  if (!os::DdeRegisterService(instance_, handle)) {
    os::DdeFreeString(instance_, handle);
    return 0;
  }
  servers_.push_back(handle);
  return 1;
}

int qvDDE::RegisterItem(const char* name, qvDDEProvider provider, void* context) {
  if (!ready_) return 0;
  const WideName wide(name);
  os::DdeString* handle = CreateUnusedName(items_, &Item::name, wide.get(),
                                           u"qvDDE : トピック %s は既に登録されています");
  if (handle == nullptr) return 0;
  items_.push_back(Item{context, handle, provider});
  return 1;
}

void qvDDE::UnregisterItems(const void* context) {
  std::erase_if(items_, [&](const Item& item) {
    if (item.context != context) return false;
    os::DdeFreeString(instance_, item.name);
    return true;
  });
}

int qvDDE::ConnectServer(const char* name) {
  if (!ready_) return 0;
  const WideName wide(name);
  os::DdeString* handle = CreateUnusedName(conversations_, &Conversation::service, wide.get(),
                                           u"qvDDE : 既にサーバ<%s>に接続されています");
  if (handle == nullptr) return 0;
  os::DdeConversation* conversation = os::DdeConnect(instance_, handle, topic_);
  if (conversation == nullptr) {
    os::DdeFreeString(instance_, handle);
    return 0;
  }
  conversations_.push_back(Conversation{handle, conversation});
  return 1;
}

int qvDDE::GetServerData(const char* item, void* destination, std::uint32_t capacity,
                         const char* service) {
  // A link that is not ready has no conversation either: it says so too.
  const WideName wide_service(service);
  const Conversation* found = nullptr;
  for (const Conversation& conversation : conversations_) {
    if (Names(conversation.service, wide_service.get())) {
      found = &conversation;
      break;
    }
  }
  if (found == nullptr) {
    DebugLogW(u"qvDDE::GetServerData  サーバ %s に接続されていません", wide_service.get());
    return 0;
  }

  os::DdeString* item_handle = os::DdeCreateString(instance_, WideName(item).get());
  if (item_handle == nullptr) return 0;
  os::DdeData* data = os::DdeRequest(found->conversation, item_handle, os::kDdePrivateFormat,
                                     kDdeRequestTimeoutMs);
  if (data == nullptr) {
    os::DdeGetLastError(instance_);
    os::DdeFreeString(instance_, item_handle);
    return 0;
  }
  const std::uint32_t size = os::DdeGetData(data, nullptr, 0);
  const bool fits = size <= capacity && destination != nullptr;
  if (fits) os::DdeGetData(data, destination, size);
  os::DdeFreeString(instance_, item_handle);
  os::DdeFreeData(data);
  return fits ? 1 : 0;
}

std::intptr_t qvDDE::Callback(os::DdeTransaction type, std::uint32_t,
                              os::DdeString* first, os::DdeString* second) {
  qvDDE* link = Instance();
  if (link == nullptr || !link->ready_) return 0;
  if (type == os::DdeTransaction::kConnect) {
    if (os::DdeCompareStrings(first, link->topic_) != 0) return 0;
    for (os::DdeString* server : link->servers_)
      if (os::DdeCompareStrings(second, server) == 0) return 1;
    return 0;
  }
  if (type == os::DdeTransaction::kRequest) return link->Answer(first, second);
  return 0;
}

std::intptr_t qvDDE::Answer(os::DdeString* topic, os::DdeString* item) {
  if (os::DdeCompareStrings(topic, topic_) != 0) return 0;
  const Item* found = nullptr;
  for (const Item& candidate : items_) {
    if (os::DdeCompareStrings(candidate.name, item) == 0) {
      found = &candidate;
      break;
    }
  }
  if (found == nullptr || found->provider == nullptr) return 0;
  char16_t name[kHandleTextCapacity];
  if (os::DdeQueryString(instance_, found->name, name, kHandleTextCapacity) == 0) return 0;

  void* block = nullptr;
  std::uint32_t size = 0;
  if (!found->provider(found->context, name, &block, &size) || block == nullptr || size == 0) {
    if (block != nullptr) PrivateFree(block);
    return 0;
  }
  os::DdeData* data =
      os::DdeCreateData(instance_, block, size, found->name, os::kDdePrivateFormat);
  PrivateFree(block);
  return reinterpret_cast<std::intptr_t>(data);
}

int CapsDdeProvider(void* context, const char16_t* item, void** data, std::uint32_t* size) {
  const auto* caps = static_cast<const qvCaps*>(context);
  if (caps == nullptr || item == nullptr || data == nullptr || size == nullptr) return 0;

  const void* source = nullptr;
  std::uint32_t length = 0, block_size = 0;
  if (CompareWide(item, u"QVCAPS_DDE_DXVER") == 0) {
    source = &caps->directx_number;
    length = block_size = sizeof caps->directx_number;
  } else if (CompareWide(item, u"QVCAPS_DDE_DXSTR") == 0) {
    // The text, its terminator and two more zero bytes.
    const std::uint32_t units = static_cast<std::uint32_t>(WideLength(caps->directx_text));
    source = caps->directx_text;
    length = 2 * units + 2;
    block_size = 2 * units + 4;
  } else if (CompareWide(item, u"QVCAPS_DDE_CPU") == 0) {
    source = &caps->cpu;
    length = block_size = sizeof caps->cpu;
  } else {
    return 0;
  }
  auto* block = static_cast<std::uint8_t*>(PrivateAlloc(0, block_size));
  if (block == nullptr) return 0;
  std::memset(block, 0, block_size);
  std::memcpy(block, source, length);
  *data = block;
  *size = block_size;
  return 1;
}

bool ExchangeCapsOverDde(qvCaps* caps) {
  qvDDE* link = qvDDE::Instance();
  if (caps == nullptr || link == nullptr || !link->IsReady()) return false;
  if (caps->dde_mode == 1) {
    link->CreateServer(kDdeServiceName);
    link->RegisterItem(kCapsItemDxVersion, CapsDdeProvider, caps);
    link->RegisterItem(kCapsItemDxText, CapsDdeProvider, caps);
    link->RegisterItem(kCapsItemCpu, CapsDdeProvider, caps);
    return false;
  }
  if (caps->dde_mode != 2) return false;
  link->ConnectServer(kDdeServiceName);
  const bool taken =
      link->GetServerData(kCapsItemDxVersion, &caps->directx_number,
                          sizeof caps->directx_number, kDdeServiceName) &&
      link->GetServerData(kCapsItemDxText, caps->directx_text, kCapsDxTextCapacity,
                          kDdeServiceName) &&
      link->GetServerData(kCapsItemCpu, &caps->cpu, sizeof caps->cpu, kDdeServiceName);
  if (taken) DebugLogW(u"DDEより環境情報を取得しました");
  return taken;
}

void WithdrawCapsFromDde(const qvCaps* caps) {
  qvDDE* link = qvDDE::Instance();
  if (caps != nullptr && link != nullptr) link->UnregisterItems(caps);
}
