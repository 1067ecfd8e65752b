// qvDDE: the process's one DDE link. A server registers a service and data
// items whose bytes a provider produces on request; a client connects to a
// service and copies items into its own buffers. Names are 8-bit
// (Shift-JIS) texts; data travels in the first private clipboard format.
#pragma once

#include <cstdint>
#include <vector>

#include "os/dde.h"

class qvCaps;

inline constexpr char kDdeServiceName[] = "QVDDE_SERVER";
inline constexpr char kDdeTopicName[] = "QVDDE_TOPIC";
inline constexpr char kCapsItemDxVersion[] = "QVCAPS_DDE_DXVER";
inline constexpr char kCapsItemDxText[] = "QVCAPS_DDE_DXSTR";
inline constexpr char kCapsItemCpu[] = "QVCAPS_DDE_CPU";
inline constexpr std::uint32_t kDdeRequestTimeoutMs = 1000;
inline constexpr std::uint32_t kCapsDxTextCapacity = 128;  // bytes a taker accepts

// Produces an item's bytes in a private-heap block, which the link frees.
using qvDDEProvider = int (*)(void* context, const char16_t* item, void** data,
                              std::uint32_t* size);

class qvDDE {
 public:
  // Only the first live link is ready; a second stays not ready.
  qvDDE();
  qvDDE(const qvDDE&) = delete;
  qvDDE& operator=(const qvDDE&) = delete;
  ~qvDDE();

  static qvDDE* Instance();
  bool IsReady() const { return ready_; }

  int CreateServer(const char* name);
  int RegisterItem(const char* name, qvDDEProvider provider, void* context);
  // Forgets every item registered with `context`, before the context goes
  // away; requests for them are refused from then on.
  void UnregisterItems(const void* context);
  int ConnectServer(const char* name);
  // Copies the item whole into `destination`; 0 when it is refused, times
  // out, or is larger than `capacity` bytes (the destination is unchanged).
  int GetServerData(const char* item, void* destination, std::uint32_t capacity,
                    const char* service);

 private:
  struct Item {
    void* context;
    os::DdeString* name;
    qvDDEProvider provider;
  };
  struct Conversation {
    os::DdeString* service;
    os::DdeConversation* conversation;
  };

  static std::intptr_t Callback(os::DdeTransaction type, std::uint32_t format,
                                os::DdeString* first, os::DdeString* second);
  std::intptr_t Answer(os::DdeString* topic, os::DdeString* item);
  // The handle's text equals the name (case-sensitive).
  bool Names(os::DdeString* handle, const char16_t* name) const;
  // A new string handle for `name`; null when it cannot be made, or when the
  // handle of one of `entries` (picked by `handle_of`) already names it,
  // which logs `in_use` with the name.
  template <typename Entries, typename HandleOf>
  os::DdeString* CreateUnusedName(const Entries& entries, HandleOf handle_of, const char16_t* name,
                                  const char16_t* in_use) const;

  bool ready_ = false;
  bool registered_ = false;
  os::DdeInstance instance_ = 0;
  os::DdeString* topic_ = nullptr;
  std::vector<Item> items_;
  std::vector<os::DdeString*> servers_;
  std::vector<Conversation> conversations_;
};

// The provider of the capabilities items; `context` is the qvCaps.
int CapsDdeProvider(void* context, const char16_t* item, void** data, std::uint32_t* size);

// The capabilities' DDE step when a link exists: mode 1 publishes `caps`,
// mode 2 takes the DirectX and processor records from a publisher. True
// when all three items were taken.
bool ExchangeCapsOverDde(qvCaps* caps);
// Withdraws the items that ExchangeCapsOverDde published for `caps`.
void WithdrawCapsFromDde(const qvCaps* caps);
