// The sample listing served over HTTP on 127.0.0.1, from memory: the first page
// at "/nn/" and page i at "/nn/<i>". It counts what it is asked, so tests can
// check how the worker walked it.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "tools/listing/sample_listing.h"

namespace httplib {
class Server;
}

namespace velmora::sample {

class ListingServer {
 public:
  // A reply that stands in for the listing's own: status and body.
  using Override = std::function<std::optional<std::pair<int, std::string>>(const std::string& path)>;

  // Listens on 127.0.0.1 at `port` (0: a free one) and serves until destroyed.
  explicit ListingServer(const SampleListing& listing, int port = 0, Override override = nullptr);
  ~ListingServer();
  ListingServer(const ListingServer&) = delete;
  ListingServer& operator=(const ListingServer&) = delete;

  bool ok() const { return port_ > 0; }
  int port() const { return port_; }
  std::string BaseUrl() const;  // http://127.0.0.1:<port>/nn/

  // The paths asked for, in order, and the number of client connections seen.
  std::vector<std::string> Paths() const;
  int Connections() const;

 private:
  const SampleListing& listing_;
  Override override_;
  std::unique_ptr<httplib::Server> server_;
  std::thread thread_;
  int port_ = -1;
  mutable std::mutex mutex_;
  std::vector<std::string> paths_;
  std::set<int> clientPorts_;
};

}  // namespace velmora::sample
