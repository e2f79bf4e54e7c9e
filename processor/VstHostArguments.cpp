#include "processor/VstHostArguments.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace vstHostArguments
{
namespace
{
// VST 2.4 fixes no length for a can-do query; the longest one answered has
// 22 characters, so 64 bytes hold any query a host may mean.
constexpr size_t canDoBytes = 64;
// A program name: VST 2.4's 24 characters and the terminator.
constexpr size_t programNameBytes = 25;
// A parameter's text as typed: the size the client writes parameter texts
// in, which a host's text fields therefore hold.
constexpr size_t parameterTextBytes = 25;

// The factors displays have, from none to four times the pixels per point.
// The client draws the editor into an image of 630 x 390 times the factor,
// squared: a factor of 30 takes most of a gigabyte, 50 overflows its size.
constexpr float smallestScaleFactor = 1.0f;
constexpr float largestScaleFactor = 4.0f;

// How hosts pass the scale factor: a vendor call with these two codes.
constexpr int32_t fourCharacterCode (const char (&c)[5])
{
    return (int32_t) ((uint32_t) (unsigned char) c[0] << 24 | (uint32_t) (unsigned char) c[1] << 16
                      | (uint32_t) (unsigned char) c[2] << 8 | (uint32_t) (unsigned char) c[3]);
}
constexpr int32_t scaleFactorIndex = fourCharacterCode ("PreS");
constexpr int32_t scaleFactorValue = fourCharacterCode ("AeCs");
} // namespace

bool lacksAPointer (int32_t opcode, VstIntPtr value, const void* ptr)
{
    switch (opcode)
    {
        // Both arrangements are written.
        case effGetSpeakerArrangement: return value == 0 || ptr == nullptr;
        // Read or written through ptr; an editor opened into no window
        // would be a window of its own that the host never placed.
        case effCanDo:
        case effSetProgramName:
        case effString2Parameter:
        case effGetChunk:
        case effEditGetRect:
        case effEditOpen:
        case effGetInputProperties:
        case effGetOutputProperties: return ptr == nullptr;
        default: return false;
    }
}

size_t textLimit (int32_t opcode)
{
    switch (opcode)
    {
        case effCanDo: return canDoBytes;
        case effSetProgramName: return programNameBytes;
        case effString2Parameter: return parameterTextBytes;
        default: return 0;
    }
}

HostText::HostText (const void* text, size_t limit)
{
    limit = std::min (limit, capacity);
    if (text == nullptr || limit == 0)
        return;
    const auto length = strnlen (static_cast<const char*> (text), limit);
    ended = length < limit;
    std::memcpy (copy, text, ended ? length : 0);
}

bool carriesScaleFactor (int32_t index, VstIntPtr value)
{
    return index == scaleFactorIndex && value == scaleFactorValue;
}

bool isUsableScaleFactor (float factor)
{
    return std::isfinite (factor) && factor >= smallestScaleFactor && factor <= largestScaleFactor;
}
} // namespace vstHostArguments
