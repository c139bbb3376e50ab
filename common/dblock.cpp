#include "dblock.h"

std::recursive_mutex& dblock() {
    static std::recursive_mutex lock;
    return lock;
}
