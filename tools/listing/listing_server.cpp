#include "tools/listing/listing_server.h"

#include <httplib.h>

#include <charconv>

namespace velmora::sample {

ListingServer::ListingServer(const SampleListing& listing, int port, Override override)
    : listing_(listing), override_(std::move(override)), server_(std::make_unique<httplib::Server>()) {
  server_->set_tcp_nodelay(true);
  server_->set_keep_alive_max_count(1000000);
  // An idle kept-alive connection holds up stopping the server for this long.
  server_->set_keep_alive_timeout(1);
  server_->Get(R"(/nn/(\d*))", [this](const httplib::Request& request, httplib::Response& response) {
    {
      std::lock_guard lock(mutex_);
      paths_.push_back(request.path);
      clientPorts_.insert(request.remote_port);
    }
    if (override_) {
      if (auto reply = override_(request.path)) {
        response.status = reply->first;
        response.set_content(reply->second, listing_.ContentType().c_str());
        return;
      }
    }
    const std::string number = request.matches[1];
    const std::string* body = &listing_.FirstPage();
    if (!number.empty()) {
      int page = 0;
      std::from_chars(number.data(), number.data() + number.size(), page);
      body = &listing_.Page(page);
      if (body->empty()) {
        response.status = 404;
        return;
      }
    }
    response.set_content(*body, listing_.ContentType().c_str());
  });
  port_ = port == 0 ? server_->bind_to_any_port("127.0.0.1")
                    : (server_->bind_to_port("127.0.0.1", port) ? port : -1);
  if (port_ > 0) {
    thread_ = std::thread([this] { server_->listen_after_bind(); });
    // A stop before the loop runs would be lost, and the join would never end.
    while (!server_->is_running()) std::this_thread::yield();
  }
}

ListingServer::~ListingServer() {
  server_->stop();
  if (thread_.joinable()) thread_.join();
}

std::string ListingServer::BaseUrl() const {
  return "http://127.0.0.1:" + std::to_string(port_) + "/nn/";
}

std::vector<std::string> ListingServer::Paths() const {
  std::lock_guard lock(mutex_);
  return paths_;
}

int ListingServer::Connections() const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(clientPorts_.size());
}

}  // namespace velmora::sample
