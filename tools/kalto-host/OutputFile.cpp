#include "tools/kalto-host/OutputFile.h"

namespace kalto::host
{
juce::String outputFileProblem (const juce::File& file)
{
    if (file.isDirectory())
        return "it is a directory";
    const auto folder = file.getParentDirectory();
    if (! folder.isDirectory() || ! folder.hasWriteAccess())
        return "its folder is missing or cannot be written";
    return {};
}
} // namespace kalto::host
