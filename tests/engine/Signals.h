#pragma once

// Small synthetic test signals and a record collector for tracker tests.

#include "engine/PitchTracker.h"

#include <cmath>
#include <cstdint>
#include <vector>

namespace kalto
{

// A sine whose period is exactly `period` samples.
inline std::vector<float> sine (double period, float amplitude, int n)
{
    std::vector<float> out ((std::size_t) n);
    for (int i = 0; i < n; ++i)
        out[(std::size_t) i] = amplitude * (float) std::sin (6.283185307179586 * i / period);
    return out;
}

// Karplus-Strong plucked strings, one note after another, each `seconds` long,
// with deterministic excitation noise.
inline std::vector<float> pluckedPhrase (int rate, const std::vector<int>& notes, double seconds)
{
    std::vector<float> out;
    uint32_t noise = 12345u;
    for (int note : notes)
    {
        const double frequency = 440.0 * std::pow (2.0, (note - 69) / 12.0);
        const int period = (int) std::lround (rate / frequency);
        std::vector<float> line ((std::size_t) period);
        for (auto& v : line)
        {
            noise = noise * 1664525u + 1013904223u;
            v = 0.6f * ((float) (noise >> 8) / 8388608.0f - 1.0f);
        }
        const int n = (int) (seconds * rate);
        float last = 0.0f;
        for (int i = 0; i < n; ++i)
        {
            float& v = line[(std::size_t) (i % period)];
            const float next = 0.996f * 0.5f * (v + last);
            last = v;
            out.push_back (v);
            v = next;
        }
    }
    out.insert (out.end(), (std::size_t) rate / 2, 0.0f);
    return out;
}

struct TimedRecord
{
    int sample;
    TrackerEvent event;
};

// Runs the samples one per block, so each record carries the sample that wrote it.
inline std::vector<TimedRecord> run (PitchTracker& t, const std::vector<float>& samples)
{
    std::vector<TimedRecord> records;
    TrackerEvent events[8];
    for (std::size_t i = 0; i < samples.size(); ++i)
    {
        int count = 0;
        t.processBlock (&samples[i], 1, events, 8, &count);
        for (int k = 0; k < count; ++k)
            records.push_back ({ (int) i, events[k] });
    }
    return records;
}

} // namespace kalto
