// listing-server: serves the sample proxy listing on 127.0.0.1.
//
//   listing-server [--port N] [--pages N] [--rows N] [--charset utf-8|gbk] [--print-kept]
//
// --print-kept prints the rows a correct collection run keeps, one per line with
// tab-separated columns (serial, IP, port, location, type, speed, connection time,
// verification time), and exits.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include <unistd.h>

#include "tools/listing/listing_server.h"

namespace {

volatile std::sig_atomic_t stopRequested = 0;

int Usage() {
  std::fprintf(stderr,
               "usage: listing-server [--port N] [--pages N] [--rows N] [--charset utf-8|gbk] "
               "[--print-kept]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  velmora::sample::Options options;
  int port = 8089;
  bool printKept = false;
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    if (arg == "--print-kept") {
      printKept = true;
    } else if (value && arg == "--port") {
      port = std::atoi(value), ++i;
    } else if (value && arg == "--pages") {
      options.pages = std::atoi(value), ++i;
    } else if (value && arg == "--rows") {
      options.rowsPerPage = std::atoi(value), ++i;
    } else if (value && arg == "--charset") {
      options.gbk = std::string_view(value) == "gbk", ++i;
    } else {
      return Usage();
    }
  }
  velmora::sample::SampleListing listing(options);
  if (printKept) {
    int serial = 0;
    for (const auto& row : listing.KeptRows()) {
      std::printf("%d\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n", ++serial, row.ip.c_str(), row.port.c_str(),
                  row.location.c_str(), row.type.c_str(), row.speed.c_str(),
                  row.connectTime.c_str(), row.verified.c_str());
    }
    return 0;
  }
  velmora::sample::ListingServer server(listing, port);
  if (!server.ok()) {
    std::fprintf(stderr, "listing-server: cannot listen on 127.0.0.1:%d\n", port);
    return 1;
  }
  std::fprintf(stderr, "listing-server: %d pages of %d rows at %s\n", options.pages,
               options.rowsPerPage, server.BaseUrl().c_str());
  std::signal(SIGINT, [](int) { stopRequested = 1; });
  std::signal(SIGTERM, [](int) { stopRequested = 1; });
  while (!stopRequested) pause();
  return 0;
}
