#pragma once

// A stream over some of a file's bytes, in an order of its own, with bytes of
// its own between them: what a reader is shown of a file, and no more.

#include <juce_core/juce_core.h>

#include <vector>

namespace kalto::tools
{
class FileView : public juce::InputStream
{
public:
    explicit FileView (const juce::File& file);

    // Appended to what the view holds.
    void addBytes (const juce::MemoryBlock& bytes);
    void addRange (juce::int64 fileStart, juce::int64 length);

    juce::int64 getTotalLength() override { return length; }
    bool isExhausted() override { return position >= length; }
    int read (void* destBuffer, int maxBytesToRead) override;
    juce::int64 getPosition() override { return position; }
    // Clamped to the view: a reader that skips past its end finds it exhausted.
    bool setPosition (juce::int64 newPosition) override;
    void skipNextBytes (juce::int64 numBytesToSkip) override { setPosition (position + numBytesToSkip); }

private:
    struct Piece
    {
        juce::int64 length;
        juce::int64 fileStart; // where its bytes lie in the file; negative for the view's own
        size_t ownStart;       // where its bytes lie in `own`
    };

    // Fills `dest` from one piece, from `offset` into it; the bytes it gave.
    int readPiece (const Piece& piece, juce::int64 offset, char* dest, int bytes);

    juce::FileInputStream file;
    juce::MemoryBlock own;
    std::vector<Piece> pieces;
    juce::int64 length = 0, position = 0;
};
} // namespace kalto::tools
