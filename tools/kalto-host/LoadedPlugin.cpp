#include "tools/kalto-host/LoadedPlugin.h"

#include "tools/kalto-host/Failure.h"

#include <cstdio>

namespace kalto::host
{
namespace
{
// The AEffect's flag for a plug-in with an editor.
constexpr int effectFlagHasEditor = 1 << 0;

// The AEffect behind the framework's wrapper, which its VST extension hands out.
AEffect* effectOf (juce::AudioPluginInstance& instance)
{
    struct EffectFinder : juce::ExtensionsVisitor
    {
        void visitVSTClient (const VSTClient& client) override
        {
            effect = static_cast<AEffect*> (client.getAEffectPtr());
        }
        AEffect* effect = nullptr;
    } finder;
    instance.getExtensions (finder);
    return finder.effect;
}

// Sets the user's values, or explains on stderr which index the plug-in has not got.
bool applySettings (juce::AudioPluginInstance& plugin, const Settings& settings, int& exitCode)
{
    const auto& parameters = plugin.getParameters();
    for (const auto& [index, value] : settings)
    {
        if (index < 0 || index >= parameters.size())
        {
            exitCode = fail (exitUsage, "no parameter " + juce::String (index) + ": "
                                            + (parameters.isEmpty() ? juce::String ("the plug-in has no parameters")
                                                                    : "its parameters are 0 to "
                                                                          + juce::String (parameters.size() - 1)));
            return false;
        }
        parameters[index]->setValue (value);
    }
    return true;
}
} // namespace

LoadedPlugin::LoadedPlugin (std::unique_ptr<juce::AudioPluginInstance> instance, AEffect& effect)
    : plugin (std::move (instance)), aEffect (&effect)
{
}

bool LoadedPlugin::hasEditor() const
{
    return (aEffect->flags & effectFlagHasEditor) != 0;
}

VstIntPtr LoadedPlugin::dispatch (int opcode, int index, VstIntPtr value, void* ptr, float opt) const
{
    return aEffect->dispatcher (aEffect, opcode, index, value, ptr, opt);
}

juce::String LoadedPlugin::dispatchString (int opcode, int index) const
{
    char text[256] = {};
    dispatch (opcode, index, 0, text);
    text[sizeof (text) - 1] = 0;
    return juce::String::fromUTF8 (text);
}

juce::String LoadedPlugin::canDoAnswer (const char* what) const
{
    return dispatch (op::canDo, 0, 0, const_cast<char*> (what)) == 1 ? "yes" : "no";
}

std::optional<LoadedPlugin> loadPlugin (const juce::String& path, double rate, int block, int& exitCode)
{
    const juce::File file = commandLineFile (path);
    if (! file.existsAsFile())
    {
        exitCode = fail (exitMissingFile, "no such file: " + path);
        return std::nullopt;
    }

    juce::VSTPluginFormat format;
    juce::OwnedArray<juce::PluginDescription> types;
    format.findAllTypesForFile (types, file.getFullPathName());
    if (types.isEmpty())
    {
        exitCode = fail (exitNotAPlugin, "not a VST 2.4 plug-in: " + path);
        return std::nullopt;
    }

    juce::String error;
    auto instance = format.createInstanceFromDescription (*types[0], rate, block, error);
    if (instance == nullptr)
    {
        exitCode = fail (exitNotAPlugin, "cannot open plug-in " + path + ": " + error);
        return std::nullopt;
    }

    auto* effect = effectOf (*instance);
    if (effect == nullptr)
    {
        exitCode = fail (exitNotAPlugin, "not a VST 2.4 plug-in: " + path);
        return std::nullopt;
    }
    return LoadedPlugin (std::move (instance), *effect);
}

bool preparePlugin (juce::AudioPluginInstance& plugin, double rate, int block, int channels, const Settings& settings,
                    int& exitCode)
{
    juce::AudioProcessor::BusesLayout layout;
    const auto set = channels == 1 ? juce::AudioChannelSet::mono() : juce::AudioChannelSet::stereo();
    layout.inputBuses.add (set);
    layout.outputBuses.add (set);
    if (! plugin.setBusesLayout (layout))
        warn ("the plug-in refused " + juce::String (channels) + " in / " + juce::String (channels)
              + " out; using its own layout");

    if (! applySettings (plugin, settings, exitCode))
        return false;
    plugin.prepareToPlay (rate, block);
    return true;
}
} // namespace kalto::host
