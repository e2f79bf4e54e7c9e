#pragma once

#include <cstddef>
#include <vector>

namespace kalto
{

// Fixed-size circular buffer of floats; readIndex always names the newest value.
class RingBuffer
{
public:
    explicit RingBuffer (int size);

    void push (float v)
    {
        data[(std::size_t) writeIndex] = v;
        writeIndex = writeIndex + 1 == size ? 0 : writeIndex + 1;
        readIndex = readIndex + 1 == size ? 0 : readIndex + 1;
    }

    void clear();

    // The value k pushes before the newest; 0 <= k < size.
    float ago (int k) const
    {
        const int index = readIndex - k;
        return data[(std::size_t) (index < 0 ? index + size : index)];
    }

private:
    friend class RingBufferProbe; // the tests' view of the indices

    std::vector<float> data;
    int writeIndex = 0;
    int readIndex = 0;
    int size = 0;
};

// Linear buffer filled from the start after every onset.
class SampleHistory
{
public:
    explicit SampleHistory (int capacity);

    void clear() { count = 0; }

    void append (float v)
    {
        if (count < capacity)
            data[(std::size_t) count++] = v;
    }

    // The correlation of the last lag values with the lag before them: 0 for an
    // exact repetition, about -1 for none. Without two lags of history it is
    // notEnoughHistory, which fails every acceptance test that reads it.
    float normalisedCorrelation (int lag) const;

    static constexpr float notEnoughHistory = 2.0f;

private:
    friend class SampleHistoryProbe; // the tests' view of the stored values

    int count = 0;
    int capacity = 0;
    std::vector<float> data;
};

} // namespace kalto
