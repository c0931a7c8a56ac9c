// client_presence.h: what the remote clients' presence topics last said,
// shared between the broker's thread, which hears them, and the drivers'
// threads, which stop a motion whose client went away. Depends on nothing.
#pragma once

#include <map>
#include <mutex>
#include <string>

namespace velkor::daemon {

enum class Presence { Unknown, Online, Offline };

class ClientPresence {
 public:
  void Note(const std::string& client, bool online) {
    std::lock_guard lock(mutex_);
    clients_[client] = online ? Presence::Online : Presence::Offline;
  }
  Presence Of(const std::string& client) const {
    std::lock_guard lock(mutex_);
    const auto found = clients_.find(client);
    return found == clients_.end() ? Presence::Unknown : found->second;
  }

 private:
  mutable std::mutex mutex_;
  std::map<std::string, Presence> clients_;
};

}  // namespace velkor::daemon
