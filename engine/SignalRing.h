#pragma once

#include <cstddef>
#include <vector>

namespace kalto
{

// The tracker's ring of filtered samples, laid out for reading many lags at
// once: newest first, and written twice over, so that the values 0 to
// size - 1 pushes before the newest lie one after another in memory and no
// read ever wraps. It reads as a RingBuffer of the same size does.
class SignalRing
{
public:
    explicit SignalRing (int sizeToUse) : size (sizeToUse > 0 ? sizeToUse : 1), data (2 * (std::size_t) size, 0.0f) {}

    void push (float v)
    {
        newest = newest == 0 ? size - 1 : newest - 1;
        data[(std::size_t) newest] = v;
        data[(std::size_t) (newest + size)] = v;
    }

    // The value k pushes before the newest; 0 <= k < size.
    float ago (int k) const { return data[(std::size_t) (newest + k)]; }

    // Where ago (0) lies; ago (k) is k floats on, for every k below the size.
    const float* newestFirst() const { return data.data() + newest; }

    int getSize() const { return size; }

private:
    int size;
    int newest = 0;
    std::vector<float> data;
};

} // namespace kalto
