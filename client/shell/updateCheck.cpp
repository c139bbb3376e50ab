// stub: replaced by its implementation
#include "updateCheck.h"
#include <cstdio>
int updatecheck(const char*, const char*, char*, size_t) { return 0; }
void runupdate(const std::function<void(const std::string&)>&) { printf("no update "); }
