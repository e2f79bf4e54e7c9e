#pragma once

#include <juce_audio_basics/juce_audio_basics.h>

namespace kalto
{

// The framework's synthesiser with a voice stealing of its own that never
// touches the heap. The framework's version, called on the audio thread at
// every note that finds no free voice, clears and refills a list of voices
// whose storage the clear gives back, so each steal allocates it again. This
// one makes exactly the framework's choice, by the same rules in the same
// order, without a list.
class KaltoSynthesiser : public juce::Synthesiser
{
protected:
    juce::SynthesiserVoice* findVoiceToSteal (juce::SynthesiserSound* soundToPlay, int midiChannel,
                                              int midiNoteNumber) const override;
};

} // namespace kalto
