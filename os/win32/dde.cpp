// DDE through the system's DDE management library (DDEML). String, data
// and conversation handles are the system's own.
#include "os/win32/windows_fwd.h"

#include <ddeml.h>

// The A/W switch macros would rename the os:: functions of the same names.
#undef DdeInitialize
#undef DdeQueryString

#include "os/dde.h"

namespace os {

namespace {

// DDEML passes no context to the callback; one instance per process uses
// it, so the function is kept here.
DdeCallback g_callback = nullptr;

// The UTF-16 calls take their strings as UTF-16. With the ANSI code-page
// argument the system reads the UTF-16 text as 8-bit text, and every name
// would shrink to its first letter (all three capabilities items to "Q").
constexpr int kStringCodePage = CP_WINUNICODE;

HSZ Native(DdeString* handle) { return reinterpret_cast<HSZ>(handle); }
HDDEDATA Native(DdeData* data) { return reinterpret_cast<HDDEDATA>(data); }
HCONV Native(DdeConversation* conversation) { return reinterpret_cast<HCONV>(conversation); }

HDDEDATA CALLBACK Callback(UINT type, UINT format, HCONV, HSZ string1, HSZ string2, HDDEDATA,
                           ULONG_PTR, ULONG_PTR) {
  if (g_callback == nullptr) return nullptr;
  DdeTransaction transaction = DdeTransaction::kOther;
  if (type == XTYP_CONNECT) transaction = DdeTransaction::kConnect;
  if (type == XTYP_REQUEST) transaction = DdeTransaction::kRequest;
  if (transaction == DdeTransaction::kOther) return nullptr;
  return reinterpret_cast<HDDEDATA>(g_callback(transaction, format,
                                               reinterpret_cast<DdeString*>(string1),
                                               reinterpret_cast<DdeString*>(string2)));
}

void DispatchPending() {
  MSG message;
  while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
}

}  // namespace

bool DdeInitialize(DdeInstance* instance, DdeCallback callback) {
  if (instance == nullptr || callback == nullptr) return false;
  DWORD id = 0;
  if (::DdeInitializeW(&id, Callback, 0, 0) != DMLERR_NO_ERROR) return false;
  g_callback = callback;
  *instance = id;
  return true;
}

DdeString* DdeCreateString(DdeInstance instance, const char16_t* text) {
  return reinterpret_cast<DdeString*>(
      ::DdeCreateStringHandleW(instance, reinterpret_cast<LPCWSTR>(text), kStringCodePage));
}

std::uint32_t DdeQueryString(DdeInstance instance, DdeString* handle, char16_t* out,
                             std::uint32_t capacity) {
  if (out == nullptr || capacity == 0) return 0;
  return ::DdeQueryStringW(instance, Native(handle), reinterpret_cast<LPWSTR>(out), capacity,
                           kStringCodePage);
}

bool DdeFreeString(DdeInstance instance, DdeString* handle) {
  return ::DdeFreeStringHandle(instance, Native(handle)) != FALSE;
}

int DdeCompareStrings(DdeString* a, DdeString* b) {
  return ::DdeCmpStringHandles(Native(a), Native(b));
}

bool DdeRegisterService(DdeInstance instance, DdeString* service) {
  return ::DdeNameService(instance, Native(service), nullptr, DNS_REGISTER) != nullptr;
}

DdeConversation* DdeConnect(DdeInstance instance, DdeString* service, DdeString* topic) {
  return reinterpret_cast<DdeConversation*>(
      ::DdeConnect(instance, Native(service), Native(topic), nullptr));
}

bool DdeDisconnect(DdeConversation* conversation) {
  return ::DdeDisconnect(Native(conversation)) != FALSE;
}

DdeData* DdeRequest(DdeConversation* conversation, DdeString* item, std::uint32_t format,
                    std::uint32_t timeout_ms) {
  // Wine's server follows every answer with an acknowledgement, which a
  // request takes for a refusal when it arrives while the request waits.
  // So queued messages are dispatched first, and a request refused at once
  // (a late acknowledgement, or a real refusal) is asked again, twice at
  // most, once the messages still under way have come in.
  constexpr std::uint32_t kLateMessagesMs = 50;
  HDDEDATA data = nullptr;
  for (int attempt = 0; attempt < 3 && data == nullptr; ++attempt) {
    if (attempt == 0)
      DispatchPending();
    else
      DdeDispatch(kLateMessagesMs);
    const DWORD start = ::GetTickCount();
    data = ::DdeClientTransaction(nullptr, 0, Native(conversation), Native(item), format,
                                  XTYP_REQUEST, timeout_ms, nullptr);
    if (::GetTickCount() - start >= timeout_ms / 2) break;
  }
  return reinterpret_cast<DdeData*>(data);
}

std::uint32_t DdeGetData(DdeData* data, void* destination, std::uint32_t capacity) {
  return ::DdeGetData(Native(data), static_cast<LPBYTE>(destination),
                      destination ? capacity : 0, 0);
}

bool DdeFreeData(DdeData* data) { return ::DdeFreeDataHandle(Native(data)) != FALSE; }

DdeData* DdeCreateData(DdeInstance instance, const void* bytes, std::uint32_t size,
                       DdeString* item, std::uint32_t format) {
  return reinterpret_cast<DdeData*>(::DdeCreateDataHandle(
      instance, static_cast<LPBYTE>(const_cast<void*>(bytes)), size, 0, Native(item), format, 0));
}

std::uint32_t DdeGetLastError(DdeInstance instance) { return ::DdeGetLastError(instance); }

void DdeDispatch(std::uint32_t timeout_ms) {
  const DWORD start = ::GetTickCount();
  for (;;) {
    DispatchPending();
    const DWORD elapsed = ::GetTickCount() - start;
    if (elapsed >= timeout_ms) return;
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, timeout_ms - elapsed, QS_ALLINPUT);
  }
}

}  // namespace os
