#include "tools/FileView.h"

#include <cstring>

namespace kalto::tools
{
FileView::FileView (const juce::File& f) : file (f) {}

void FileView::addBytes (const juce::MemoryBlock& bytes)
{
    pieces.push_back ({ (juce::int64) bytes.getSize(), -1, own.getSize() });
    own.append (bytes.getData(), bytes.getSize());
    length += (juce::int64) bytes.getSize();
}

void FileView::addRange (juce::int64 fileStart, juce::int64 rangeLength)
{
    if (rangeLength <= 0)
        return;
    pieces.push_back ({ rangeLength, fileStart, 0 });
    length += rangeLength;
}

bool FileView::setPosition (juce::int64 newPosition)
{
    position = juce::jlimit ((juce::int64) 0, length, newPosition);
    return true;
}

int FileView::read (void* destBuffer, int maxBytesToRead)
{
    auto* dest = static_cast<char*> (destBuffer);
    int done = 0;
    juce::int64 pieceStart = 0;
    for (const auto& piece : pieces)
    {
        const auto pieceEnd = pieceStart + piece.length;
        if (done < maxBytesToRead && position < pieceEnd)
        {
            const auto wanted = (int) juce::jmin ((juce::int64) (maxBytesToRead - done), pieceEnd - position);
            const int got = readPiece (piece, position - pieceStart, dest + done, wanted);
            done += got;
            position += got;
            // A file that ends early ends the view there too.
            if (got < wanted)
                return done;
        }
        pieceStart = pieceEnd;
    }
    return done;
}

int FileView::readPiece (const Piece& piece, juce::int64 offset, char* dest, int bytes)
{
    if (piece.fileStart < 0)
    {
        std::memcpy (dest, static_cast<const char*> (own.getData()) + piece.ownStart + (size_t) offset, (size_t) bytes);
        return bytes;
    }
    if (! file.openedOk() || ! file.setPosition (piece.fileStart + offset))
        return 0;
    return juce::jmax (0, file.read (dest, bytes));
}
} // namespace kalto::tools
