#pragma once

#include "decode/reply_summary.h"

#include <string>
#include <vector>

// A decoder's walk over a reply as lines of text for people: its "ACK", where
// the walk started, the frames (or bitmap rows) and markers it met, and how it
// ended.
std::vector<std::string> DescribeSummary(const ReplySummary &summary);
