#include "engine/RingBuffer.h"

#include <algorithm>

namespace kalto
{

RingBuffer::RingBuffer (int sizeToUse)
    : data ((std::size_t) std::max (1, sizeToUse), 0.0f), size (std::max (1, sizeToUse))
{
    clear();
}

void RingBuffer::clear()
{
    std::fill (data.begin(), data.end(), 0.0f);
    writeIndex = 0;
    readIndex = size - 1;
}

SampleHistory::SampleHistory (int capacityToUse)
    : capacity (std::max (0, capacityToUse)), data ((std::size_t) std::max (0, capacityToUse), 0.0f)
{
}

float SampleHistory::normalisedCorrelation (int lag) const
{
    if (lag < 0 || count < 2 * lag)
        return notEnoughHistory;

    const int s = count - 2 * lag;
    float sxy = 0.0f, syy = 0.0f;
    for (int k = 0; k < lag; ++k)
    {
        const float older = data[(std::size_t) (s + k)];
        const float newer = data[(std::size_t) (s + lag + k)];
        sxy += older * newer;
        syy += newer * newer;
    }
    return (sxy - syy) / syy;
}

} // namespace kalto
