#pragma once
// A large fetch of ranges (the entries a differential update needs) over several connections at
// once, as the package download does.

#include "net/http_util.h"

namespace net_detail {

// As HttpUtil::FetchRanges: the same events, the sink taking each byte once and in order.
void FetchRangesSideBySide(const RangeTask& task);

}  // namespace net_detail
