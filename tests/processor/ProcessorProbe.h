#pragma once

// What the tests read and set of a processor's state that the editor never
// sees: the peak as it stands, the loaded preset's document, the event
// buffer's capacity, the typed parameter members, and a version text, a
// preset name or a MIDI stage of a test's own.

#include "processor/KaltoAudioProcessor.h"

#include <array>
#include <atomic>
#include <memory>

class KaltoAudioProcessorProbe
{
public:
    static std::atomic<float>& peakLevel (KaltoAudioProcessor& p) { return p.peakLevel; }
    static const juce::XmlElement* presetXml (const KaltoAudioProcessor& p) { return p.presetXml.get(); }
    static uint16_t eventBufferCapacity (const KaltoAudioProcessor& p) { return p.eventBufferCapacity; }
    static const kalto::TrackerEvent* eventBuffer (const KaltoAudioProcessor& p) { return p.eventBuffer.get(); }
    static const std::shared_ptr<kalto_lookandfeel>& lookAndFeel (const KaltoAudioProcessor& p)
    {
        return p.lookAndFeel;
    }

    // The typed parameter members, in index order.
    static std::array<juce::AudioProcessorParameter*, kalto::numParameters> parameterMembers (
        const KaltoAudioProcessor& p)
    {
        const auto& c = p.chordParams;
        return { p.confidenceParam,
                 p.gainParam,
                 p.bendsParam,
                 p.legatoParam,
                 p.convFilterParam,
                 p.channel1Param,
                 p.channel2Param,
                 p.guitarParam,
                 p.bassParam,
                 p.wetParam,
                 p.onParam,
                 p.gainIntParam,
                 p.filterParam,
                 p.compParam,
                 p.keyParam,
                 p.modeParam,
                 p.portParam,
                 p.pitchBendRangeParam,
                 p.velocityLimitParam,
                 p.transposeParam,
                 p.synthSoundParam,
                 c[0],
                 c[1],
                 c[2],
                 c[3],
                 c[4] };
    }

    static void setVersionText (KaltoAudioProcessor& p, const juce::String& text) { p.versionText = text; }
    // The name alone, with no load or save.
    static void setCurrentPresetName (KaltoAudioProcessor& p, const juce::String& name) { *p.currentPresetName = name; }
    // A MIDI stage of the test's own, before the processor has processed.
    static void replaceMidiStage (KaltoAudioProcessor& p, std::unique_ptr<kalto::MIDI_Interface> stage)
    {
        p.midiBackend = std::move (stage);
    }
};
