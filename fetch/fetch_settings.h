// Internal knobs of the page fetch. The program never changes them; tests do, to
// trust a test CA and to shorten the waits. Change them only while no fetch runs.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>

namespace velmora::fetch_internal {

// How long a connection (TCP, TLS and any proxy tunnel) may take to set up.
inline constexpr std::chrono::milliseconds kConnectTimeout{60'000};
// How long an exchange may go on without a byte arriving or leaving.
inline constexpr std::chrono::milliseconds kStallTimeout{60'000};
// A transfer slower than this on average over the window fails, so a server that
// drips bytes just often enough to dodge the stall time-out cannot hold a fetch
// for ever.
inline constexpr long kLowRateBytesPerSecond = 1024;
inline constexpr std::chrono::seconds kLowRateWindow{60};
// The largest body a fetch accepts; a larger one fails the fetch.
inline constexpr std::size_t kMaxBodyBytes = std::size_t{64} << 20;

struct FetchSettings {
  std::string caFile;  // a PEM file trusted besides the system's CA store; empty: none
  std::chrono::milliseconds connectTimeout = kConnectTimeout;
  std::chrono::milliseconds stallTimeout = kStallTimeout;
  std::size_t maxBodyBytes = kMaxBodyBytes;
  long lowRateBytesPerSecond = kLowRateBytesPerSecond;
  std::chrono::seconds lowRateWindow = kLowRateWindow;
};

FetchSettings& Settings();

// Empties the process-wide cookie store of the automatic cookie handling.
void ClearSharedCookies();

}  // namespace velmora::fetch_internal
