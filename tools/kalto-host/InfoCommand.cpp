#include "tools/kalto-host/InfoCommand.h"

#include "tools/kalto-host/Failure.h"
#include "tools/kalto-host/LoadedPlugin.h"

#include <cstdint>
#include <cstdio>

namespace kalto::host
{
namespace
{
// Plug-in categories as VST 2.4 numbers them.
constexpr VstIntPtr effectCategory = 1;
constexpr VstIntPtr synthCategory = 2;

juce::String fourCharacters (int32_t id)
{
    juce::String text;
    for (int shift = 24; shift >= 0; shift -= 8)
        text += (juce::juce_wchar) (char) ((id >> shift) & 0xff);
    return text;
}

juce::String categoryName (VstIntPtr category)
{
    switch (category)
    {
        case effectCategory: return "effect";
        case synthCategory: return "synth";
        default: return "other (" + juce::String ((int) category) + ")";
    }
}

void printLine (const juce::String& key, const juce::String& value)
{
    std::printf ("%s: %s\n", key.toRawUTF8(), value.toRawUTF8());
}

void printIdentity (const LoadedPlugin& loaded)
{
    const AEffect& e = loaded.effect();
    printLine ("name", loaded.dispatchString (op::getEffectName));
    printLine ("vendor", loaded.dispatchString (op::getVendorString));
    printLine ("version", juce::String ((int) loaded.dispatch (op::getVendorVersion)));
    printLine ("plugin-version", juce::String (e.version));
    printLine ("uid", fourCharacters (e.uniqueID));
    printLine ("category", categoryName (loaded.dispatch (op::getPlugCategory)));
    printLine ("vst-version", juce::String ((int) loaded.dispatch (op::getVstVersion)));
    printLine ("inputs", juce::String (e.numInputs));
    printLine ("outputs", juce::String (e.numOutputs));
    printLine ("programs", juce::String (e.numPrograms));
    printLine ("editor", loaded.hasEditor() ? "yes" : "no");
    printLine ("midi-in", loaded.canDoAnswer ("receiveVstMidiEvent"));
    printLine ("midi-out", loaded.canDoAnswer ("sendVstMidiEvent"));
    printLine ("parameters", juce::String (e.numParams));
}

void printParameters (const LoadedPlugin& loaded)
{
    AEffect& e = loaded.effect();
    for (int i = 0; i < e.numParams; ++i)
    {
        const float value = e.getParameter (&e, i);
        std::printf ("%d\t%s\t%.9g\t%s\n", i, loaded.dispatchString (op::getParamName, i).toRawUTF8(), (double) value,
                     loaded.dispatchString (op::getParamDisplay, i).toRawUTF8());
    }
}
} // namespace

int runInfo (const juce::String& pluginPath)
{
    int exitCode = exitOk;
    const auto loaded = loadPlugin (pluginPath, defaultRate, defaultBlockSize, exitCode);
    if (! loaded)
        return exitCode;

    printIdentity (*loaded);
    printParameters (*loaded);
    return exitOk;
}
} // namespace kalto::host
