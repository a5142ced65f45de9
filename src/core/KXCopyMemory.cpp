#include "KXImage.h"

#include <cstring>

void KXCopyMemory(void* to, const void* from, size_t bytes)
{
    std::memcpy(to, from, bytes);
}
