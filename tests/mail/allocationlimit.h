#pragma once
// Running out of memory on purpose: while an AllocationLimit lives, every operator new of at least `bytes` in this
// test program (and in the libraries it loads) throws std::bad_alloc.

#include <cstddef>

class AllocationLimit {
public:
    explicit AllocationLimit(size_t bytes);
    ~AllocationLimit();
    AllocationLimit(const AllocationLimit&) = delete;
    AllocationLimit& operator=(const AllocationLimit&) = delete;
};
