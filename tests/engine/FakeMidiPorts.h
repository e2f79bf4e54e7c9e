#pragma once

// External MIDI outputs the tests can watch: every message sent to an open
// port lands in a log, with the port it went to.

#include "engine/MidiPort.h"

#include <array>
#include <atomic>
#include <memory>
#include <vector>

namespace kalto
{

struct SentMessage
{
    juce::String port;
    std::array<int, 3> bytes;
};

struct PortLog
{
    std::vector<SentMessage> sent;
    std::atomic<int> openPorts { 0 };
    std::vector<juce::String> opened;
};

class FakeMidiPort final : public MidiPort
{
public:
    FakeMidiPort (std::shared_ptr<PortLog> l, juce::String id) : log (std::move (l)), identifier (std::move (id))
    {
        log->openPorts.fetch_add (1);
    }
    ~FakeMidiPort() override { log->openPorts.fetch_sub (1); }

    void sendMessageNow (const juce::MidiMessage& message) override
    {
        const auto* data = message.getRawData();
        log->sent.push_back ({ identifier, { data[0], data[1], data[2] } });
    }

private:
    std::shared_ptr<PortLog> log;
    juce::String identifier;
};

class FakeMidiPortSystem final : public MidiPortSystem
{
public:
    // Devices named "name" with identifier "id-name"; those in `failing` cannot be opened.
    FakeMidiPortSystem (std::shared_ptr<PortLog> l, juce::StringArray names, juce::StringArray failing = {})
        : log (std::move (l)), deviceNames (std::move (names)), failingNames (std::move (failing))
    {
    }

    juce::Array<juce::MidiDeviceInfo> getAvailableDevices() override
    {
        juce::Array<juce::MidiDeviceInfo> devices;
        for (const auto& name : deviceNames)
            devices.add ({ name, "id-" + name });
        return devices;
    }

    std::unique_ptr<MidiPort> openDevice (const juce::String& identifier) override
    {
        log->opened.push_back (identifier);
        for (const auto& name : failingNames)
            if (identifier == "id-" + name)
                return nullptr;
        return std::make_unique<FakeMidiPort> (log, identifier);
    }

    std::shared_ptr<PortLog> log;
    juce::StringArray deviceNames; // tests may change what is present later

private:
    juce::StringArray failingNames;
};

} // namespace kalto
