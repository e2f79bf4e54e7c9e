#include "engine/MidiPort.h"

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
    return juce::MidiOutput::getAvailableDevices();
}

std::unique_ptr<MidiPort> JuceMidiPortSystem::openDevice (const juce::String& identifier)
{
    auto output = juce::MidiOutput::openDevice (identifier);
    if (output == nullptr)
        return nullptr;
    return std::make_unique<JuceMidiPort> (std::move (output));
}

} // namespace kalto
