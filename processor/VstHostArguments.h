// What a host hands the dispatcher, checked before the client reads it: a
// pointer left null where the call reads or writes through it, a text read
// no further than its call lets it run, and a display's scale factor.

#pragma once

#include <pluginterfaces/vst2.x/aeffectx.h>

#include <cstddef>
#include <cstdint>

namespace vstHostArguments
{
// Whether the call reads or writes through a pointer the host left null
// (value or ptr, as the call uses them).
bool lacksAPointer (int32_t opcode, VstIntPtr value, const void* ptr);

// The most bytes, terminator included, that the text a call hands over in
// ptr may take; 0 for a call whose ptr is no text.
size_t textLimit (int32_t opcode);

// A host's text, copied no further than its limit and terminated there.
class HostText
{
public:
    HostText (const void* text, size_t limit);

    // Whether the text ended within its limit: a longer one is no text of
    // its call, and a copy of its start would be another text.
    bool complete() const { return ended; }
    char* get() { return copy; }

private:
    static constexpr size_t capacity = 64;
    char copy[capacity] {};
    bool ended = false;
};

// Whether a vendor call carries the host's display scale factor in opt.
bool carriesScaleFactor (int32_t index, VstIntPtr value);
// Whether a factor is one a display has: the editor's window and the image
// it is drawn into grow with it.
bool isUsableScaleFactor (float factor);
} // namespace vstHostArguments
