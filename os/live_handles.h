// The objects behind a backend's own handles (searches, tree folders): a
// handle is the object's address, and only the addresses in the table are
// followed, so that a handle closed twice, or never opened, is refused
// instead of used. Portable; each backend keeps one table per kind.
#pragma once

#include <memory>
#include <mutex>
#include <set>

#include "os/file.h"

namespace os {

template <typename Object>
class LiveHandles {
 public:
  // The table of this kind of object; never destroyed, so that handles
  // closed while the process ends still find it.
  static LiveHandles& Table() {
    static auto* table = new LiveHandles;
    return *table;
  }

  Handle Add(std::unique_ptr<Object> object) {
    std::lock_guard<std::mutex> guard(lock_);
    Object* raw = object.release();
    objects_.insert(raw);
    return reinterpret_cast<Handle>(raw);
  }

  // What `read` returns for the handle's object, read under the table's
  // lock; a value-initialised result when the handle is not live.
  template <typename Read>
  auto Find(Handle handle, Read read) {
    auto* object = reinterpret_cast<Object*>(handle);
    std::lock_guard<std::mutex> guard(lock_);
    return objects_.count(object) ? read(object) : decltype(read(object)){};
  }

  // Takes the handle's object out of the table; null when it is not live.
  std::unique_ptr<Object> Remove(Handle handle) {
    auto* object = reinterpret_cast<Object*>(handle);
    std::lock_guard<std::mutex> guard(lock_);
    if (!objects_.erase(object)) return nullptr;
    return std::unique_ptr<Object>(object);
  }

 private:
  LiveHandles() = default;

  std::mutex lock_;
  std::set<Object*> objects_;
};

}  // namespace os
