// The system's DDE management library, narrowed to what the engine's DDE
// link uses. On Windows these are the DDEML calls themselves; the POSIX
// backend gives processes of one user the same exchange over Unix-domain
// sockets (see os/posix/dde.cpp).
#pragma once

#include <cstdint>

namespace os {

using DdeInstance = std::uint32_t;
struct DdeString;        // a string handle; equal texts (any case) share one
struct DdeConversation;  // a client's open conversation
struct DdeData;          // a block of exchanged data

inline constexpr std::uint32_t kDdePrivateFormat = 0x0200;
inline constexpr std::uint32_t kDdeConnectTimeoutMs = 1000;

// Last-error values, numerically equal to the DDEML ones.
inline constexpr std::uint32_t kDdeErrorNone = 0;
inline constexpr std::uint32_t kDdeErrorDataTimeout = 0x4002;
inline constexpr std::uint32_t kDdeErrorInvalidParameter = 0x4006;
inline constexpr std::uint32_t kDdeErrorNoConversation = 0x400A;
inline constexpr std::uint32_t kDdeErrorNotProcessed = 0x4009;

enum class DdeTransaction { kConnect, kRequest, kOther };

// Called on the thread that initialised the instance, while it dispatches.
// kConnect: `string1` is the topic, `string2` the service; non-zero accepts.
// kRequest: `string1` is the topic, `string2` the item; the result is a
// DdeData* from DdeCreateData (handed over), or 0 to refuse.
using DdeCallback = std::intptr_t (*)(DdeTransaction type, std::uint32_t format,
                                      DdeString* string1, DdeString* string2);

// An instance that may act as client and server. False on failure.
bool DdeInitialize(DdeInstance* instance, DdeCallback callback);

// A string handle for `text`. Null on failure.
DdeString* DdeCreateString(DdeInstance instance, const char16_t* text);
// Copies the text into `out` (cut to `capacity` units, terminated);
// returns its length, or 0 on failure.
std::uint32_t DdeQueryString(DdeInstance instance, DdeString* handle, char16_t* out,
                             std::uint32_t capacity);
bool DdeFreeString(DdeInstance instance, DdeString* handle);
// 0 when both name the same text, ignoring case.
int DdeCompareStrings(DdeString* a, DdeString* b);

bool DdeRegisterService(DdeInstance instance, DdeString* service);
// A conversation on `topic` with a server of `service`, or null.
DdeConversation* DdeConnect(DdeInstance instance, DdeString* service, DdeString* topic);
bool DdeDisconnect(DdeConversation* conversation);

// A synchronous request; null when refused or after `timeout_ms`.
DdeData* DdeRequest(DdeConversation* conversation, DdeString* item, std::uint32_t format,
                    std::uint32_t timeout_ms);
// With a null destination, the size; otherwise the bytes copied (at most
// `capacity`).
std::uint32_t DdeGetData(DdeData* data, void* destination, std::uint32_t capacity);
bool DdeFreeData(DdeData* data);
// A copy of `size` bytes for a callback's reply.
DdeData* DdeCreateData(DdeInstance instance, const void* bytes, std::uint32_t size,
                       DdeString* item, std::uint32_t format);
// The instance's last error, cleared by the call.
std::uint32_t DdeGetLastError(DdeInstance instance);

// Lets the calling thread answer connects and requests (on Windows: runs
// its message loop) for `timeout_ms`.
void DdeDispatch(std::uint32_t timeout_ms);

}  // namespace os
