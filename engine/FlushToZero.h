#pragma once

#include <xmmintrin.h>

namespace kalto
{

// Denormal numbers flushed to zero, as results and as operands, while one of
// these lives; the caller's mode comes back when it goes. A filter decaying
// in silence would otherwise settle among the denormals and stay there, and
// many CPUs take dozens of cycles over each operation on one. Nothing the
// tracker decides depends on a number that small.
class ScopedFlushToZero
{
public:
    ScopedFlushToZero() : saved (_mm_getcsr()) { _mm_setcsr (saved | flushToZero | denormalsAreZero); }
    ~ScopedFlushToZero() { _mm_setcsr (saved); }

    ScopedFlushToZero (const ScopedFlushToZero&) = delete;
    ScopedFlushToZero& operator= (const ScopedFlushToZero&) = delete;

private:
    // The two bits of the SSE control and status register.
    static constexpr unsigned int flushToZero = 0x8000;
    static constexpr unsigned int denormalsAreZero = 0x0040;

    const unsigned int saved;
};

} // namespace kalto
