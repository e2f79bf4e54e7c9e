#pragma once

// A VST 2.4 plug-in loaded through the framework's loader and spoken to
// through its own dispatcher, as any VST host speaks to it.

#include "tools/kalto-host/OptionReaders.h"

#include <juce_audio_processors/juce_audio_processors.h>

#include <pluginterfaces/vst2.x/aeffectx.h>

#include <memory>
#include <optional>

namespace kalto::host
{
// Opcode numbers as a VST 2.4 host sends them.
namespace op
{
constexpr int getParamDisplay = 7;
constexpr int getParamName = 8;
constexpr int editGetRect = 13;
constexpr int getPlugCategory = 35;
constexpr int setBypass = 0x2C;
constexpr int getEffectName = 45;
constexpr int getVendorString = 47;
constexpr int getVendorVersion = 49;
constexpr int canDo = 51;
constexpr int getVstVersion = 58;
} // namespace op

class LoadedPlugin
{
public:
    LoadedPlugin (std::unique_ptr<juce::AudioPluginInstance> instance, AEffect& effect);

    juce::AudioPluginInstance& instance() const { return *plugin; }
    AEffect& effect() const { return *aEffect; }

    bool hasEditor() const;

    VstIntPtr dispatch (int opcode, int index = 0, VstIntPtr value = 0, void* ptr = nullptr, float opt = 0.0f) const;
    // The text an opcode that answers with a string writes.
    juce::String dispatchString (int opcode, int index = 0) const;
    // "yes" when the plug-in says it can do `what`, else "no".
    juce::String canDoAnswer (const char* what) const;

private:
    std::unique_ptr<juce::AudioPluginInstance> plugin;
    AEffect* aEffect;
};

// Loads the plug-in file, or explains on stderr why not.
std::optional<LoadedPlugin> loadPlugin (const juce::String& path, double rate, int block, int& exitCode);

// Gives the plug-in its channels and the user's settings, then prepares it to
// play; or explains on stderr what is wrong.
bool preparePlugin (juce::AudioPluginInstance& plugin, double rate, int block, int channels, const Settings& settings,
                    int& exitCode);
} // namespace kalto::host
