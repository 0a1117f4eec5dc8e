#include "allocationlimit.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<size_t> limit{0}; // 0: no limit

} // namespace

AllocationLimit::AllocationLimit(size_t bytes)
{
    limit = bytes;
}

AllocationLimit::~AllocationLimit()
{
    limit = 0;
}

// The program's replacement of the global allocation functions; the array forms and the nothrow forms of the
// standard library come here too.
void* operator new(size_t size)
{
    const size_t now = limit;
    if (now != 0 && size >= now)
        throw std::bad_alloc();
    if (void* block = std::malloc(size == 0 ? 1 : size))
        return block;
    throw std::bad_alloc();
}

void operator delete(void* block) noexcept
{
    std::free(block);
}

void operator delete(void* block, size_t) noexcept
{
    std::free(block);
}
