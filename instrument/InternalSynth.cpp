#include "instrument/InternalSynth.h"

#include "instrument/KaltoSamplerSound.h"
#include "instrument/KaltoSamplerVoice.h"
#include "instrument/KaltoSynthesiser.h"
#include "KaltoRecordings.h"

#include <juce_events/juce_events.h>

#include <chrono>
#include <cmath>
#include <thread>

namespace kalto
{
namespace
{
constexpr int voicesPerInstrument = 10;
// Every sound starts at full level, rings on for 0.05 s of its recording after
// its note-off, and plays at most the first 10 s of it.
constexpr double attackSeconds = 0.0, releaseSeconds = 0.05, maxLengthSeconds = 10.0;
// How often a message thread that found a load under way looks again.
constexpr std::chrono::milliseconds loadPollInterval { 1 };

bool isFinite (const juce::AudioBuffer<float>& buffer, int startSample, int numSamples)
{
    for (int c = 0; c < buffer.getNumChannels(); ++c)
        for (auto *x = buffer.getReadPointer (c, startSample), *end = x + numSamples; x != end; ++x)
            if (! std::isfinite (*x))
                return false;
    return true;
}

juce::BigInteger noteRange (int first, int last)
{
    juce::BigInteger notes;
    notes.setRange (first, last - first + 1, true);
    return notes;
}
} // namespace

InternalSynth::InternalSynth()
{
    formatManager.registerBasicFormats();
    synth = std::make_unique<KaltoSynthesiser>();
    reverb = std::make_unique<juce::Reverb>();
}

InternalSynth::~InternalSynth()
{
    reverb.reset();
    synth.reset();
}

void InternalSynth::setSound (int index)
{
    // Two threads may choose at once: a preset load or the SYNTH page on the
    // message thread, and prepareToPlay on the audio thread at a host's first
    // process call. The message thread may wait for a load under way; any
    // other thread never waits, and the thread loading serves its request
    // before it lets go. The instrument requested last is what stays loaded;
    // a request for the instrument being loaded is met by that load.
    requestedSound.store (index);
    soundRequests.fetch_add (1);
    const auto mayWait = juce::MessageManager::existsAndIsCurrentThread();

    for (;;)
    {
        while (loadingSound.exchange (true))
        {
            if (! mayWait)
                return;
            std::this_thread::sleep_for (loadPollInterval);
        }

        const auto loading = requestedSound.load();
        loadSound (loading);
        loadingSound.store (false);
        // A thread that found us loading left its request to us.
        if (requestedSound.load() == loading)
            return;
    }
}

void InternalSynth::loadSound (int index)
{
    // The synthesiser holds its lock, which render also takes, while it drops
    // its sounds; holding them here as well lets the decoded recordings be
    // freed after it has let go.
    juce::ReferenceCountedArray<juce::SynthesiserSound> previous;
    for (int i = 0; i < synth->getNumSounds(); ++i)
        previous.add (synth->getSound (i));

    synth->clearVoices();
    synth->clearSounds();
    previous.clear();

    if (index >= cello && index <= drums)
    {
        for (int i = 0; i < voicesPerInstrument; ++i)
            synth->addVoice (new KaltoSamplerVoice (index != drums));

        switch (index)
        {
            case cello: loadCello(); break;
            case piano: loadPiano(); break;
            case saxophone: loadSaxophone(); break;
            default: loadDrums(); break;
        }
        muted = false;
    }
    else if (index == rawGuitar)
    {
        muted = true;
    }
}

void InternalSynth::setSampleRate (double sampleRate)
{
    synth->setCurrentPlaybackSampleRate (sampleRate);
    // From silence: nothing of what played before, or of a block that
    // overflowed, rings on. Clearing also touches the reverb's memory, which
    // the first block would otherwise meet page by page.
    reverb->reset();
}

void InternalSynth::render (juce::AudioBuffer<float>& buffer, const juce::MidiBuffer& midi, int startSample,
                            int numSamples)
{
    if (muted.load())
        return;

    const auto generation = reverbGeneration.load (std::memory_order_acquire);
    if (generation != appliedReverbGeneration)
    {
        appliedReverbGeneration = generation;
        reverb->setParameters (getReverbParameters());
    }

    synth->renderNextBlock (buffer, midi, startSample, numSamples);

    if (numSamples <= 0 || buffer.getNumChannels() == 0)
        return;
    if (buffer.getNumChannels() >= 2)
        reverb->processStereo (buffer.getWritePointer (0, startSample), buffer.getWritePointer (1, startSample),
                               numSamples);
    else
        reverb->processMono (buffer.getWritePointer (0, startSample), numSamples);

    // Once one sum overflows, the reverb's feedback would carry it for good.
    if (! isFinite (buffer, startSample, numSamples))
    {
        buffer.clear (startSample, numSamples);
        reverb->reset();
    }
}

juce::Reverb::Parameters InternalSynth::getReverbParameters() const
{
    juce::Reverb::Parameters p; // room size and freeze keep the framework's defaults
    p.damping = pendingDamping.load();
    p.wetLevel = pendingWet.load();
    p.dryLevel = pendingDry.load();
    p.width = pendingWidth.load();
    return p;
}

void InternalSynth::setReverb (const ReverbSetting& setting)
{
    pendingDamping = setting.damping;
    pendingWet = setting.wetLevel;
    pendingDry = setting.dryLevel;
    pendingWidth = setting.width;
    reverbGeneration.fetch_add (1, std::memory_order_release);
}

// Each instrument's reverb: damping, wet level, dry level, width.
const InternalSynth::ReverbSetting InternalSynth::celloReverb { 0.8f, 0.1f, 0.5f, 0.5f };
const InternalSynth::ReverbSetting InternalSynth::pianoReverb { 0.0f, 0.3f, 0.6f, 1.0f };
const InternalSynth::ReverbSetting InternalSynth::saxophoneReverb { 0.2f, 0.25f, 0.6f, 0.8f };
const InternalSynth::ReverbSetting InternalSynth::drumsReverb { 0.6f, 0.1f, 0.6f, 0.8f };

#define KALTO_RECORDING(file, first, last, root)                                       \
    {                                                                                  \
        KaltoRecordings::file, (size_t) KaltoRecordings::file##Size, first, last, root \
    }

void InternalSynth::loadCello()
{
    setReverb (celloReverb);
    addSamples ({ { KALTO_RECORDING (cello48_ogg, 0, 53, 48), KALTO_RECORDING (cello60_ogg, 54, 65, 60),
                    KALTO_RECORDING (cello72_ogg, 66, 77, 72), KALTO_RECORDING (cello84_ogg, 78, 127, 84) } });
}

void InternalSynth::loadPiano()
{
    setReverb (pianoReverb);
    addSamples ({ { KALTO_RECORDING (piano48_ogg, 0, 53, 48), KALTO_RECORDING (piano60_ogg, 54, 65, 60),
                    KALTO_RECORDING (piano72_ogg, 66, 77, 72), KALTO_RECORDING (piano84_ogg, 78, 127, 84) } });
}

void InternalSynth::loadSaxophone()
{
    setReverb (saxophoneReverb);
    addSamples ({ { KALTO_RECORDING (sax48_ogg, 0, 53, 48), KALTO_RECORDING (sax60_ogg, 54, 65, 60),
                    KALTO_RECORDING (sax72_ogg, 66, 77, 72), KALTO_RECORDING (sax84_ogg, 78, 127, 84) } });
}

// In order of rising root; notes between the hits, and below the kick, stay silent.
void InternalSynth::loadDrums()
{
    setReverb (drumsReverb);
    addSamples ({ { KALTO_RECORDING (drumkick60_ogg, 60, 60, 60), KALTO_RECORDING (drumsnare62_ogg, 62, 62, 62),
                    KALTO_RECORDING (drumhihat64_ogg, 64, 64, 64), KALTO_RECORDING (drumcrash66_ogg, 66, 127, 66) } });
}

#undef KALTO_RECORDING

void InternalSynth::addSamples (const std::array<Recording, recordingsPerInstrument>& recordings)
{
    for (const auto& r : recordings)
        addSample (r.data, r.size, noteRange (r.firstNote, r.lastNote), r.rootNote, attackSeconds, releaseSeconds,
                   maxLengthSeconds);
}

void InternalSynth::addSample (const void* data, size_t size, const juce::BigInteger& notes, int rootNote,
                               double attack, double release, double maxLength)
{
    auto* format = formatManager.findFormatForFileExtension ("ogg");
    if (format == nullptr || data == nullptr || size == 0)
        return;

    // The reader takes the stream, and deletes it itself when opening fails.
    std::unique_ptr<juce::AudioFormatReader> reader (
        format->createReaderFor (new juce::MemoryInputStream (data, size, false), true));
    if (reader == nullptr)
        return;

    juce::SynthesiserSound::Ptr sound (
        new KaltoSamplerSound ("Voice", *reader, notes, rootNote, attack, release, maxLength));
    // A recording that decodes to nothing is left out rather than played.
    if (static_cast<const KaltoSamplerSound*> (sound.get())->getAudioData() == nullptr)
        return;

    lastSound = sound;
    synth->addSound (sound);
}

} // namespace kalto
