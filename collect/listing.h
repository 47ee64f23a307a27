// The listing the worker reads: its address, the markers around the pager, the
// pattern of one proxy row and the limits of a kept row. All texts are GBK.
#pragma once

#include "text/text.h"

namespace velmora {

// Address of the first page, and the base of every page address ("/nn/" path).
const Text& ListingBaseUrl();

// The pager of the first page lies between these two markers (256 and 51 bytes).
const Text& PagerStartMarker();
const Text& PagerEndMarker();

// One high-anonymity proxy row (380 bytes). Groups: 1 IP, 2 port, 3 location,
// 4 location link text, 5 plain location, 6 type, 7 speed title, 8 connection
// time title, 9 verification time.
const Text& RowPattern();

inline constexpr double kSpeedLimit = 3.0;
inline constexpr double kConnectTimeLimit = 1.0;
inline constexpr double kCompareTolerance = 0.0000001;

const Text& CollectingCaption();  // "采集中......"
const Text& DoneCaption();        // "采集完毕！"

}  // namespace velmora
