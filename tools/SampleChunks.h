#pragma once

// The chunks of a WAV or AIFF file that hold its format and its samples, found
// before the framework's readers see the file. Those readers parse every
// metadata chunk they know on their way (iXML and axml as XML, however deeply
// nested, which can take the whole stack), and take the header's sizes on
// trust. The tools need none of the metadata: a reader is shown a view of the
// file that holds the format and the samples only.

#include <juce_core/juce_core.h>

#include <memory>
#include <optional>

namespace kalto::tools
{
enum class ChunkFormat
{
    wav, // RIFF or RF64 WAVE
    aiff // AIFF or AIFF-C
};

// Where the samples lie, as far as the file holds them.
struct StoredSamples
{
    juce::int64 dataBytes = 0;         // what the samples' chunk claims
    juce::int64 heldBytes = 0;         // how much of that the file holds
    std::optional<juce::int64> frames; // the frame count the header claims, where it has one (AIFF's)
};

struct SampleChunks
{
    juce::String problem;                    // why a reader would not reach the samples; empty when it would
    std::unique_ptr<juce::InputStream> view; // the format's and the samples' chunks only
    std::optional<StoredSamples> samples;
};

// The chunks of `file` as `format` lays them out. A file of another kind has
// neither a problem nor a view: the reader finds no header of its own there.
SampleChunks readSampleChunks (const juce::File& file, ChunkFormat format);
} // namespace kalto::tools
