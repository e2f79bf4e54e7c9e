#pragma once

#include <juce_audio_devices/juce_audio_devices.h>

#include <memory>

namespace kalto
{

// An open external MIDI output. sendMessageNow is called from the audio thread.
class MidiPort
{
public:
    virtual ~MidiPort() = default;
    virtual void sendMessageNow (const juce::MidiMessage& message) = 0;
};

// Where external outputs come from: the system's MIDI outputs in the plug-in,
// something the tests can watch in the tests.
class MidiPortSystem
{
public:
    virtual ~MidiPortSystem() = default;
    virtual juce::Array<juce::MidiDeviceInfo> getAvailableDevices() = 0;
    // Null when the device cannot be opened.
    virtual std::unique_ptr<MidiPort> openDevice (const juce::String& identifier) = 0;
};

// The system's MIDI outputs through juce::MidiOutput (the ALSA sequencer here).
class JuceMidiPortSystem final : public MidiPortSystem
{
public:
    juce::Array<juce::MidiDeviceInfo> getAvailableDevices() override;
    std::unique_ptr<MidiPort> openDevice (const juce::String& identifier) override;
};

} // namespace kalto
