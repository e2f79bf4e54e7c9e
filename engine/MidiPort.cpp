#include "engine/MidiPort.h"

#if JUCE_LINUX
#include <unistd.h>
#endif

namespace kalto
{
namespace
{
class JuceMidiPort final : public MidiPort
{
public:
    explicit JuceMidiPort (std::unique_ptr<juce::MidiOutput> o) : output (std::move (o)) {}

    void sendMessageNow (const juce::MidiMessage& message) override { output->sendMessageNow (message); }

private:
    std::unique_ptr<juce::MidiOutput> output;
};
} // namespace

juce::Array<juce::MidiDeviceInfo> JuceMidiPortSystem::getAvailableDevices()
{
#if JUCE_LINUX
    // Without the sequencer's device node there is nothing to list, and ALSA
    // would say so on the host's stderr each time it is asked.
    if (access ("/dev/snd/seq", F_OK) != 0)
        return {};
#endif
    return juce::MidiOutput::getAvailableDevices();
}

std::unique_ptr<MidiPort> JuceMidiPortSystem::openDevice (const juce::String& identifier)
{
#if JUCE_LINUX
    if (access ("/dev/snd/seq", F_OK) != 0)
        return nullptr;
#endif
    auto output = juce::MidiOutput::openDevice (identifier);
    if (output == nullptr)
        return nullptr;
    return std::make_unique<JuceMidiPort> (std::move (output));
}

} // namespace kalto
