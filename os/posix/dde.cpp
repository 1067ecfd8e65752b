// DDE between processes of one user over Unix-domain stream sockets.
//
// A registered service listens on a socket named after it: in
// $XDG_RUNTIME_DIR when that is set, else in /tmp with the user id in the
// name ("qvdde-<uid>-<SERVICE>"). Names are upper-cased for the socket
// name, since DDE names ignore case. A client connects, sends the topic
// and service and waits for the server's answer; requests carry the item
// and format and get the data or a refusal. Servers answer only while
// their thread is in DdeDispatch or itself waiting in DdeConnect or
// DdeRequest, as DDE answers only while messages are dispatched. Both ends
// refuse peers of another user. Not provided: advise loops, pokes,
// executes, several servers of one name (a live one keeps the name), and
// DDE with Windows programs.

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "os/dde.h"

namespace os {

struct DdeString {
  std::u16string text;  // as first created
  std::u16string key;   // upper-cased
  int references;
};

struct DdeConversation {
  int fd;
  DdeInstance instance;
  std::uint32_t next_id;
};

struct DdeData {
  std::vector<std::uint8_t> bytes;
  std::uint32_t format;
};

namespace {

enum MessageType : std::uint32_t {
  kConnectMessage = 1,   // service, topic
  kConnectReply = 2,     // accepted flag
  kRequestMessage = 3,   // id, format, item
  kRequestReply = 4,     // id, success flag, format, bytes
};

constexpr std::uint32_t kMaxNameUnits = 255;
constexpr std::uint32_t kMaxPayload = 16u << 20;
constexpr std::uint32_t kServerReadTimeoutMs = 1000;

using Clock = std::chrono::steady_clock;

struct Listener {
  int fd;
  DdeInstance instance;
  std::string path;
};

struct ServerConnection {
  int fd;
  DdeInstance instance;
  DdeString* topic = nullptr;  // set once the connect was accepted
};

struct State {
  std::recursive_mutex mutex;
  std::vector<DdeCallback> callbacks;     // instance n is callbacks[n - 1]
  std::vector<std::uint32_t> last_errors;
  std::map<std::u16string, DdeString*> strings;
  std::map<std::u16string, Listener> listeners;
  std::vector<ServerConnection> connections;
  bool serving = false;  // a callback is running: no nested serving
};

State& Global() {
  static State* state = new State;  // lives until exit; sockets are unlinked then
  return *state;
}

std::u16string Upper(const std::u16string& text) {
  std::u16string key = text;
  for (char16_t& unit : key)
    if (unit >= u'a' && unit <= u'z') unit = static_cast<char16_t>(unit - u'a' + u'A');
  return key;
}

void SetError(DdeInstance instance, std::uint32_t code) {
  State& state = Global();
  if (instance >= 1 && instance <= state.last_errors.size()) state.last_errors[instance - 1] = code;
}

DdeCallback CallbackOf(DdeInstance instance) {
  State& state = Global();
  return instance >= 1 && instance <= state.callbacks.size() ? state.callbacks[instance - 1]
                                                             : nullptr;
}

// ---- socket names --------------------------------------------------------

bool OwnedDirectory(const char* path) {
  struct stat info;
  return path != nullptr && path[0] == '/' && stat(path, &info) == 0 && S_ISDIR(info.st_mode) &&
         info.st_uid == getuid();
}

bool SocketPath(const std::u16string& service, std::string* path) {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  std::string result = OwnedDirectory(runtime)
                           ? std::string(runtime) + "/qvdde-"
                           : "/tmp/qvdde-" + std::to_string(getuid()) + "-";
  for (char16_t unit : Upper(service)) {
    if ((unit >= u'A' && unit <= u'Z') || (unit >= u'0' && unit <= u'9') || unit == u'_' ||
        unit == u'-' || unit == u'.') {
      result += static_cast<char>(unit);
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "%%%04X", static_cast<unsigned>(unit));
      result += escaped;
    }
  }
  if (service.empty() || result.size() >= sizeof(sockaddr_un{}.sun_path)) return false;
  *path = result;
  return true;
}

sockaddr_un AddressOf(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  return address;
}

bool PeerIsThisUser(int fd) {
#ifdef SO_PEERCRED
  ucred credentials{};
  socklen_t length = sizeof credentials;
  return getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &length) == 0 &&
         credentials.uid == getuid();
#else
  uid_t uid;
  gid_t gid;
  return getpeereid(fd, &uid, &gid) == 0 && uid == getuid();
#endif
}

int NewSocket() {
  const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  if (fd < 0) return -1;
  fcntl(fd, F_SETFD, FD_CLOEXEC);
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
  return fd;
}

// Connects without blocking past the deadline; -1 on failure.
int ConnectTo(const std::string& path) {
  struct stat info;
  if (lstat(path.c_str(), &info) != 0 || !S_ISSOCK(info.st_mode) || info.st_uid != getuid())
    return -1;
  const int fd = NewSocket();
  if (fd < 0) return -1;
  const sockaddr_un address = AddressOf(path);
  if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      !PeerIsThisUser(fd)) {
    close(fd);
    return -1;
  }
  return fd;
}

void UnlinkListeners() {
  State& state = Global();
  std::lock_guard<std::recursive_mutex> guard(state.mutex);
  for (auto& [key, listener] : state.listeners) unlink(listener.path.c_str());
}

// ---- framing ---------------------------------------------------------------

int RemainingMs(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

bool WaitFor(int fd, short events, Clock::time_point deadline) {
  for (;;) {
    pollfd entry{fd, events, 0};
    const int ready = poll(&entry, 1, RemainingMs(deadline));
    if (ready > 0) return true;
    if (ready == 0 || errno != EINTR) return false;
  }
}

bool ReadAll(int fd, void* destination, std::size_t count, Clock::time_point deadline) {
  auto* bytes = static_cast<std::uint8_t*>(destination);
  while (count > 0) {
    const ssize_t got = recv(fd, bytes, count, 0);
    if (got > 0) {
      bytes += got;
      count -= static_cast<std::size_t>(got);
    } else if (got == 0) {
      return false;
    } else if ((errno == EAGAIN || errno == EWOULDBLOCK) && WaitFor(fd, POLLIN, deadline)) {
      continue;
    } else if (errno != EINTR) {
      return false;
    }
  }
  return true;
}

bool WriteAll(int fd, const void* source, std::size_t count, Clock::time_point deadline) {
  const auto* bytes = static_cast<const std::uint8_t*>(source);
  while (count > 0) {
    const ssize_t sent = send(fd, bytes, count, MSG_NOSIGNAL);
    if (sent > 0) {
      bytes += sent;
      count -= static_cast<std::size_t>(sent);
    } else if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) &&
               WaitFor(fd, POLLOUT, deadline)) {
      continue;
    } else if (sent < 0 && errno == EINTR) {
      continue;
    } else {
      return false;
    }
  }
  return true;
}

class Writer {
 public:
  void Word(std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes_.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
  }
  void Text(const std::u16string& text) {
    Word(static_cast<std::uint32_t>(text.size()));
    for (char16_t unit : text) {
      bytes_.push_back(static_cast<std::uint8_t>(unit));
      bytes_.push_back(static_cast<std::uint8_t>(unit >> 8));
    }
  }
  void Bytes(const std::vector<std::uint8_t>& data) {
    bytes_.insert(bytes_.end(), data.begin(), data.end());
  }
  bool Send(int fd, std::uint32_t type, Clock::time_point deadline) const {
    std::uint8_t header[8];
    const std::uint32_t size = static_cast<std::uint32_t>(bytes_.size());
    for (int i = 0; i < 4; ++i) {
      header[i] = static_cast<std::uint8_t>(type >> (8 * i));
      header[4 + i] = static_cast<std::uint8_t>(size >> (8 * i));
    }
    return WriteAll(fd, header, sizeof header, deadline) &&
           WriteAll(fd, bytes_.data(), bytes_.size(), deadline);
  }

 private:
  std::vector<std::uint8_t> bytes_;
};

// Reads fields of a received message; every read checks the bounds.
class Reader {
 public:
  explicit Reader(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}
  bool Word(std::uint32_t* value) {
    if (bytes_.size() - at_ < 4) return false;
    *value = 0;
    for (int i = 0; i < 4; ++i) *value |= static_cast<std::uint32_t>(bytes_[at_ + i]) << (8 * i);
    at_ += 4;
    return true;
  }
  bool Text(std::u16string* text) {
    std::uint32_t units = 0;
    if (!Word(&units) || units > kMaxNameUnits || (bytes_.size() - at_) / 2 < units) return false;
    text->clear();
    for (std::uint32_t i = 0; i < units; ++i, at_ += 2)
      text->push_back(static_cast<char16_t>(bytes_[at_] | bytes_[at_ + 1] << 8));
    return true;
  }
  std::vector<std::uint8_t> Rest() const {
    return std::vector<std::uint8_t>(bytes_.begin() + static_cast<std::ptrdiff_t>(at_),
                                     bytes_.end());
  }

 private:
  std::vector<std::uint8_t> bytes_;
  std::size_t at_ = 0;
};

bool ReceiveMessage(int fd, std::uint32_t* type, std::vector<std::uint8_t>* payload,
                    Clock::time_point deadline) {
  std::uint8_t header[8];
  if (!ReadAll(fd, header, sizeof header, deadline)) return false;
  std::uint32_t size = 0;
  *type = 0;
  for (int i = 0; i < 4; ++i) {
    *type |= static_cast<std::uint32_t>(header[i]) << (8 * i);
    size |= static_cast<std::uint32_t>(header[4 + i]) << (8 * i);
  }
  if (size > kMaxPayload) return false;
  payload->resize(size);
  return ReadAll(fd, payload->data(), size, deadline);
}

// ---- server side -------------------------------------------------------------

DdeString* Intern(const std::u16string& text);

void DropConnection(std::size_t index) {
  State& state = Global();
  ServerConnection& connection = state.connections[index];
  close(connection.fd);
  if (connection.topic) DdeFreeString(connection.instance, connection.topic);
  state.connections.erase(state.connections.begin() + static_cast<std::ptrdiff_t>(index));
}

// Runs the instance's callback with nested serving switched off.
std::intptr_t RunCallback(DdeInstance instance, DdeTransaction type, std::uint32_t format,
                          DdeString* first, DdeString* second) {
  const DdeCallback callback = CallbackOf(instance);
  if (callback == nullptr) return 0;
  State& state = Global();
  state.serving = true;
  const std::intptr_t result = callback(type, format, first, second);
  state.serving = false;
  return result;
}

// Answers one message of a server connection; false drops the connection.
bool ServeMessage(std::size_t index) {
  State& state = Global();
  const auto deadline = Clock::now() + std::chrono::milliseconds(kServerReadTimeoutMs);
  const int fd = state.connections[index].fd;
  const DdeInstance instance = state.connections[index].instance;
  std::uint32_t type = 0;
  std::vector<std::uint8_t> payload;
  if (!ReceiveMessage(fd, &type, &payload, deadline)) return false;
  Reader reader(std::move(payload));
  Writer reply;

  if (type == kConnectMessage) {
    std::u16string service, topic;
    if (state.connections[index].topic || !reader.Text(&service) || !reader.Text(&topic))
      return false;
    DdeString* service_handle = Intern(service);
    DdeString* topic_handle = Intern(topic);
    const bool accepted =
        RunCallback(instance, DdeTransaction::kConnect, 0, topic_handle, service_handle) != 0;
    DdeFreeString(instance, service_handle);
    if (accepted) state.connections[index].topic = topic_handle;
    else DdeFreeString(instance, topic_handle);
    reply.Word(accepted ? 1 : 0);
    return reply.Send(fd, kConnectReply, deadline) && accepted;
  }

  if (type == kRequestMessage) {
    std::uint32_t id = 0, format = 0;
    std::u16string item;
    DdeString* topic = state.connections[index].topic;
    if (!topic || !reader.Word(&id) || !reader.Word(&format) || !reader.Text(&item)) return false;
    DdeString* item_handle = Intern(item);
    auto* data = reinterpret_cast<DdeData*>(
        RunCallback(instance, DdeTransaction::kRequest, format, topic, item_handle));
    DdeFreeString(instance, item_handle);
    reply.Word(id);
    reply.Word(data ? 1 : 0);
    reply.Word(data ? data->format : 0);
    if (data) reply.Bytes(data->bytes);
    delete data;
    return reply.Send(fd, kRequestReply, deadline);
  }
  return false;
}

void AcceptConnections(const Listener& listener) {
  for (;;) {
    const int fd = accept(listener.fd, nullptr, nullptr);
    if (fd < 0) return;
    fcntl(fd, F_SETFD, FD_CLOEXEC);
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    if (!PeerIsThisUser(fd)) {
      close(fd);
      continue;
    }
    Global().connections.push_back(ServerConnection{fd, listener.instance, nullptr});
  }
}

// Polls the server sockets (and `client_fd` when not -1) once, serving
// what is ready; true when `client_fd` became readable.
bool PollOnce(int client_fd, int timeout_ms) {
  State& state = Global();
  std::vector<pollfd> entries;
  if (client_fd >= 0) entries.push_back(pollfd{client_fd, POLLIN, 0});
  const std::size_t first_listener = entries.size();
  std::vector<Listener> listeners;
  if (!state.serving) {
    for (const auto& [key, listener] : state.listeners) {
      listeners.push_back(listener);
      entries.push_back(pollfd{listener.fd, POLLIN, 0});
    }
    for (const ServerConnection& connection : state.connections)
      entries.push_back(pollfd{connection.fd, POLLIN, 0});
  }
  const int ready = poll(entries.data(), entries.size(), timeout_ms);
  if (ready <= 0) return false;

  const std::size_t first_connection = first_listener + listeners.size();
  // Connections from the back, so dropping one keeps the others' indices.
  for (std::size_t i = entries.size(); i-- > first_connection;) {
    if (entries[i].revents == 0) continue;
    const std::size_t index = i - first_connection;
    if (!ServeMessage(index)) DropConnection(index);
  }
  for (std::size_t i = 0; i < listeners.size(); ++i)
    if (entries[first_listener + i].revents) AcceptConnections(listeners[i]);
  return client_fd >= 0 && entries[0].revents != 0;
}

// Serves until `client_fd` is readable (true) or the deadline passes.
bool ServeUntilReadable(int client_fd, Clock::time_point deadline) {
  for (;;) {
    if (PollOnce(client_fd, RemainingMs(deadline))) return true;
    if (Clock::now() >= deadline) return false;
  }
}

DdeString* Intern(const std::u16string& text) {
  State& state = Global();
  const std::u16string key = Upper(text);
  auto found = state.strings.find(key);
  if (found != state.strings.end()) {
    ++found->second->references;
    return found->second;
  }
  auto* handle = new DdeString{text, key, 1};
  state.strings[key] = handle;
  return handle;
}

}  // namespace

bool DdeInitialize(DdeInstance* instance, DdeCallback callback) {
  if (instance == nullptr || callback == nullptr) return false;
  State& state = Global();
  std::lock_guard<std::recursive_mutex> guard(state.mutex);
  state.callbacks.push_back(callback);
  state.last_errors.push_back(kDdeErrorNone);
  *instance = static_cast<DdeInstance>(state.callbacks.size());
  return true;
}

DdeString* DdeCreateString(DdeInstance instance, const char16_t* text) {
  if (text == nullptr || CallbackOf(instance) == nullptr) return nullptr;
  const std::u16string value(text);
  if (value.size() > kMaxNameUnits) {
    SetError(instance, kDdeErrorInvalidParameter);
    return nullptr;
  }
  std::lock_guard<std::recursive_mutex> guard(Global().mutex);
  return Intern(value);
}

std::uint32_t DdeQueryString(DdeInstance, DdeString* handle, char16_t* out,
                             std::uint32_t capacity) {
  if (handle == nullptr || out == nullptr || capacity == 0) return 0;
  const std::size_t length = std::min<std::size_t>(handle->text.size(), capacity - 1);
  std::copy_n(handle->text.begin(), length, out);
  out[length] = 0;
  return static_cast<std::uint32_t>(length);
}

bool DdeFreeString(DdeInstance, DdeString* handle) {
  if (handle == nullptr) return false;
  State& state = Global();
  std::lock_guard<std::recursive_mutex> guard(state.mutex);
  if (--handle->references == 0) {
    state.strings.erase(handle->key);
    delete handle;
  }
  return true;
}

int DdeCompareStrings(DdeString* a, DdeString* b) {
  if (a == b) return 0;
  if (a == nullptr || b == nullptr) return a == nullptr ? -1 : 1;
  return a->key < b->key ? -1 : (a->key == b->key ? 0 : 1);
}

bool DdeRegisterService(DdeInstance instance, DdeString* service) {
  if (service == nullptr || CallbackOf(instance) == nullptr) return false;
  State& state = Global();
  std::lock_guard<std::recursive_mutex> guard(state.mutex);
  auto known = state.listeners.find(service->key);
  if (known != state.listeners.end()) {
    known->second.instance = instance;  // this process's newer instance takes the name
    return true;
  }
  std::string path;
  if (!SocketPath(service->text, &path)) return false;

  // A socket left by a process that ended is replaced; a live one is not.
  const int probe = ConnectTo(path);
  if (probe >= 0) {
    close(probe);
    return false;
  }
  struct stat info;
  if (lstat(path.c_str(), &info) == 0) {
    if (!S_ISSOCK(info.st_mode) || info.st_uid != getuid()) return false;
    unlink(path.c_str());
  }

  const int fd = NewSocket();
  if (fd < 0) return false;
  const sockaddr_un address = AddressOf(path);
  const mode_t previous = umask(0077);
  const bool bound = bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  umask(previous);
  if (!bound || listen(fd, 16) != 0) {
    close(fd);
    return false;
  }
  static const bool cleanup_registered = std::atexit(UnlinkListeners) == 0;
  (void)cleanup_registered;
  state.listeners[service->key] = Listener{fd, instance, path};
  return true;
}

DdeConversation* DdeConnect(DdeInstance instance, DdeString* service, DdeString* topic) {
  std::string path;
  if (service == nullptr || topic == nullptr || CallbackOf(instance) == nullptr ||
      !SocketPath(service->text, &path)) {
    SetError(instance, kDdeErrorNoConversation);
    return nullptr;
  }
  const auto deadline = Clock::now() + std::chrono::milliseconds(kDdeConnectTimeoutMs);
  const int fd = ConnectTo(path);
  Writer message;
  message.Text(service->text);
  message.Text(topic->text);
  std::uint32_t type = 0, accepted = 0;
  std::vector<std::uint8_t> payload;
  if (fd >= 0 && message.Send(fd, kConnectMessage, deadline) &&
      ServeUntilReadable(fd, deadline) && ReceiveMessage(fd, &type, &payload, deadline) &&
      type == kConnectReply && Reader(payload).Word(&accepted) && accepted) {
    return new DdeConversation{fd, instance, 1};
  }
  if (fd >= 0) close(fd);
  SetError(instance, kDdeErrorNoConversation);
  return nullptr;
}

bool DdeDisconnect(DdeConversation* conversation) {
  if (conversation == nullptr) return false;
  close(conversation->fd);
  delete conversation;
  return true;
}

DdeData* DdeRequest(DdeConversation* conversation, DdeString* item, std::uint32_t format,
                    std::uint32_t timeout_ms) {
  if (conversation == nullptr || item == nullptr) return nullptr;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  const std::uint32_t id = conversation->next_id++;
  Writer message;
  message.Word(id);
  message.Word(format);
  message.Text(item->text);
  if (!message.Send(conversation->fd, kRequestMessage, deadline)) {
    SetError(conversation->instance, kDdeErrorNoConversation);
    return nullptr;
  }
  // Replies to requests that timed out earlier are skipped.
  for (;;) {
    std::uint32_t type = 0, reply_id = 0, success = 0, reply_format = 0;
    std::vector<std::uint8_t> payload;
    if (!ServeUntilReadable(conversation->fd, deadline) ||
        !ReceiveMessage(conversation->fd, &type, &payload, deadline)) {
      SetError(conversation->instance, kDdeErrorDataTimeout);
      return nullptr;
    }
    Reader reader(std::move(payload));
    if (type != kRequestReply || !reader.Word(&reply_id) || reply_id != id) continue;
    if (!reader.Word(&success) || !reader.Word(&reply_format) || !success) {
      SetError(conversation->instance, kDdeErrorNotProcessed);
      return nullptr;
    }
    return new DdeData{reader.Rest(), reply_format};
  }
}

std::uint32_t DdeGetData(DdeData* data, void* destination, std::uint32_t capacity) {
  if (data == nullptr) return 0;
  const auto size = static_cast<std::uint32_t>(data->bytes.size());
  if (destination == nullptr) return size;
  const std::uint32_t copied = std::min(size, capacity);
  std::memcpy(destination, data->bytes.data(), copied);
  return copied;
}

bool DdeFreeData(DdeData* data) {
  delete data;
  return data != nullptr;
}

DdeData* DdeCreateData(DdeInstance, const void* bytes, std::uint32_t size, DdeString*,
                       std::uint32_t format) {
  if (bytes == nullptr && size > 0) return nullptr;
  const auto* first = static_cast<const std::uint8_t*>(bytes);
  return new DdeData{std::vector<std::uint8_t>(first, first + size), format};
}

std::uint32_t DdeGetLastError(DdeInstance instance) {
  State& state = Global();
  if (instance < 1 || instance > state.last_errors.size()) return kDdeErrorInvalidParameter;
  const std::uint32_t code = state.last_errors[instance - 1];
  state.last_errors[instance - 1] = kDdeErrorNone;
  return code;
}

void DdeDispatch(std::uint32_t timeout_ms) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  do {
    PollOnce(-1, RemainingMs(deadline));
  } while (Clock::now() < deadline);
}

}  // namespace os
