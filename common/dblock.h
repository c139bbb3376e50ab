// The "dblock" lock: one lock shared by every database wrapper of the process, so
// statement sequences of the article database and of the results database never
// interleave. Re-entrant for its owner, as the design's named mutex is.
#pragma once
#include <mutex>

std::recursive_mutex& dblock();
