// Sizes as a reader takes them in: a number of at most three figures and a unit, in
// steps of 1000 (B, KB, MB, GB, TB), the same steps as the speeds in KB/s.
#pragma once
#include <string>

// "512 B", "1.5 KB", "700 MB", "12.3 GB"; one decimal below 100 of a unit, none above,
// and no ".0". Negative sizes read as 0 B.
std::string sizeText(long long bytes);
