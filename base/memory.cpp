#include "base/base.h"

/* Every block comes zeroed: the callers that need zeros and those that fill
 * the block themselves share one call. */
void *AllocateMemory(size_t bytes)
{
    return HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, bytes);
}

void FreeMemory(void *memory)
{
    HeapFree(GetProcessHeap(), 0, memory);
}
