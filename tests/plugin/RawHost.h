#pragma once

// A host of our own for the built plug-in, loaded with dlopen and driven
// through its bare VST 2.4 ABI, for the tests of careless hosts.

#include <gtest/gtest.h>

#include <juce_core/juce_core.h>

#include <pluginterfaces/vst2.x/aeffectx.h>

#include "processor/PresetDocument.h"
#include "support/TempFolder.h"
#include "processor/PresetFolder.h"

#include <dlfcn.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <ostream>
#include <vector>

namespace kalto::test
{
// Opcodes as a VST 2.4 host numbers them.
namespace op
{
constexpr int open = 0, close = 1, getParamName = 8, setSampleRate = 10, setBlockSize = 11, mainsChanged = 12;
constexpr int editGetRect = 13, editOpen = 14, editClose = 15, editIdle = 19, string2Parameter = 27, setBypass = 0x2C;
} // namespace op

namespace hostOp
{
constexpr int version = 1, processEvents = 8, ioChanged = 13;
}

enum class Layout
{
    separate,       // a buffer of its own for every channel
    sharedOutputs,  // one buffer for both outputs
    inPlace,        // the outputs are the inputs
    noInputs,       // a null input array
    noSecondInput,  // a null pointer for the second input
    noOutputs,      // a null output array
    noSecondOutput, // a null pointer for the second output
};

// Channel arrays of exactly as many entries as the host's arrangement has.
enum class Arrays
{
    separate,   // an array of inputs and one of outputs
    inPlace,    // one array, the outputs being the inputs
    sideBySide, // one array of the outputs followed by the inputs
};

struct Midi
{
    long sample; // from the start of the stream
    int status, data1, data2;

    bool operator== (const Midi& o) const
    {
        return sample == o.sample && status == o.status && data1 == o.data1 && data2 == o.data2;
    }
};

inline std::ostream& operator<< (std::ostream& s, const Midi& m)
{
    return s << m.sample << ' ' << m.status << ' ' << m.data1 << ' ' << m.data2;
}

inline void* plugin()
{
    // Hosts never unload it either: the framework keeps singletons for the process.
    static void* library = dlopen (KALTO_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
    return library;
}

// One plug-in instance and the host's side of it: the stream of a steady
// 440 Hz tone it has played so far and the MIDI the plug-in sent back.
class RawHost
{
public:
    RawHost()
    {
        auto main = reinterpret_cast<AEffect* (*) (audioMasterCallback)> (dlsym (plugin(), "VSTPluginMain"));
        if (main == nullptr)
            return;
        effect = main (callback);
        if (effect == nullptr)
            return;
        effect->resvd1 = reinterpret_cast<VstIntPtr> (this);
        dispatch (op::open);
    }

    ~RawHost() { close(); }

    RawHost (const RawHost&) = delete;
    RawHost& operator= (const RawHost&) = delete;

    void close()
    {
        if (effect != nullptr)
            dispatch (op::close);
        effect = nullptr;
    }

    VstIntPtr dispatch (int opcode, int index = 0, VstIntPtr value = 0, void* ptr = nullptr, float opt = 0.0f)
    {
        return effect->dispatcher (effect, opcode, index, value, ptr, opt);
    }

    void start (float rate, int block)
    {
        dispatch (op::setSampleRate, 0, 0, nullptr, rate);
        dispatch (op::setBlockSize, 0, block);
        dispatch (op::mainsChanged, 0, 1);
    }

    // Plays the next `frames` samples of the tone in one process call and
    // returns what the host finds in its output buffers (one entry per
    // output channel; none without an output array).
    std::vector<std::vector<float>> process (Layout layout, int frames)
    {
        const auto n = (size_t) std::max (frames, 0);
        std::array<std::vector<float>, 2> in, out;
        for (int ch = 0; ch < 2; ++ch)
        {
            in[(size_t) ch].resize (n);
            out[(size_t) ch].assign (n, 123.0f);
            for (size_t i = 0; i < n; ++i)
                in[(size_t) ch][i] = tone (played + (long) i, ch);
        }

        float* ins[2] = { in[0].data(), in[1].data() };
        float* outs[2] = { out[0].data(), out[1].data() };
        float** inArg = ins;
        float** outArg = outs;
        switch (layout)
        {
            case Layout::separate: break;
            case Layout::sharedOutputs: outs[1] = outs[0]; break;
            case Layout::inPlace:
                out = in;
                inArg = outArg;
                break;
            case Layout::noInputs: inArg = nullptr; break;
            case Layout::noSecondInput: ins[1] = nullptr; break;
            case Layout::noOutputs: outArg = nullptr; break;
            case Layout::noSecondOutput: outs[1] = nullptr; break;
        }

        callStart = played;
        callFrames = frames;
        effect->processReplacing (effect, inArg, outArg, frames);
        played += (long) n;

        if (layout == Layout::noOutputs)
            return {};
        if (layout == Layout::sharedOutputs)
            return { out[0], out[0] };
        if (layout == Layout::noSecondOutput)
            return { out[0] };
        return { out[0], out[1] };
    }

    // Plays the next `frames` samples of the tone through arrays of exactly
    // `inputs` and `outputs` entries, made on the heap so that a read past
    // them is caught under AddressSanitizer. Returns the outputs; the inputs
    // as sent are in `sentInputs`, and as the host finds them after the call
    // in `heardInputs`.
    std::vector<std::vector<float>> processExactly (int inputs, int outputs, int frames, Arrays arrays)
    {
        const auto n = (size_t) std::max (frames, 0);
        std::vector<std::vector<float>> in ((size_t) inputs, std::vector<float> (n));
        std::vector<std::vector<float>> out ((size_t) outputs, std::vector<float> (n, 123.0f));
        for (size_t ch = 0; ch < in.size(); ++ch)
            for (size_t i = 0; i < n; ++i)
                in[ch][i] = tone (played + (long) i, (int) ch);
        if (arrays == Arrays::inPlace)
            out = in;

        // Side by side, the outputs are followed by the inputs in one array;
        // otherwise each array is a block of its own, with no neighbour to
        // read into.
        const auto count = (size_t) (arrays == Arrays::sideBySide ? outputs + inputs : outputs);
        const auto outArray = std::make_unique<float*[]> (count);
        const auto inArray = std::make_unique<float*[]> ((size_t) inputs);
        float** outArg = outArray.get();
        float** inArg = arrays == Arrays::sideBySide ? outArg + outputs : inArray.get();
        if (arrays == Arrays::inPlace)
            inArg = outArg;
        for (size_t ch = 0; ch < out.size(); ++ch)
            outArg[ch] = out[ch].data();
        if (arrays != Arrays::inPlace)
            for (size_t ch = 0; ch < in.size(); ++ch)
                inArg[ch] = in[ch].data();

        sentInputs = in;
        callStart = played;
        callFrames = frames;
        effect->processReplacing (effect, inArg, outArg, frames);
        played += (long) n;
        heardInputs = arrays == Arrays::inPlace ? sentInputs : in;
        return out;
    }

    static float tone (long sample, int channel)
    {
        return 0.5f * (float) std::sin (6.283185307179586 * 440.0 * (double) sample / 44100.0 + channel);
    }

    AEffect* effect = nullptr;
    std::vector<Midi> midi;
    int eventsOutsideTheirCall = 0;
    std::atomic<int> ioChangedCalls { 0 };
    std::vector<std::vector<float>> sentInputs, heardInputs;

private:
    static VstIntPtr VSTCALLBACK callback (AEffect* e, int opcode, int, VstIntPtr, void* ptr, float)
    {
        if (opcode == hostOp::version)
            return 2400;
        if (opcode == hostOp::ioChanged && e != nullptr && e->resvd1 != 0)
            ++reinterpret_cast<RawHost*> (e->resvd1)->ioChangedCalls;
        if (opcode == hostOp::processEvents && e != nullptr && e->resvd1 != 0 && ptr != nullptr)
            reinterpret_cast<RawHost*> (e->resvd1)->receive (*static_cast<VstEvents*> (ptr));
        return 0;
    }

    void receive (const VstEvents& events)
    {
        for (int i = 0; i < events.numEvents; ++i)
        {
            const auto* e = reinterpret_cast<const VstMidiEvent*> (events.events[i]);
            if (e->deltaFrames < 0 || e->deltaFrames >= callFrames)
                ++eventsOutsideTheirCall;
            if (e->type == kVstMidiType)
                midi.push_back (
                    { callStart + e->deltaFrames, (unsigned char) e->midiData[0], e->midiData[1], e->midiData[2] });
        }
    }

    long played = 0, callStart = 0;
    int callFrames = 0;
};

inline bool hasNoteOn (const std::vector<Midi>& midi)
{
    return std::any_of (midi.begin(), midi.end(), [] (const Midi& m) { return m.status == 0x90 && m.data2 > 0; });
}

// A home whose default preset chooses "No Sound": an instrument decodes its
// recordings at every start, prepare and editor opening, which the editor's
// close order has nothing to do with, and which would be most of the run.
class SilentDefaultPreset
{
public:
    SilentDefaultPreset() : previous (std::getenv ("HOME"))
    {
        home = makeTempFolder ("silent-home");
        setenv ("HOME", home.getFullPathName().toRawUTF8(), 1);
        juce::XmlElement preset (kalto::presetRootTag);
        preset.setAttribute ("synthSound", 0.0);
        written = kalto::presetFolder().createDirectory()
                  && kalto::writePresetFile (kalto::presetFile (kalto::defaultPresetName),
                                             kalto::presetDocumentText (preset));
    }

    ~SilentDefaultPreset()
    {
        setenv ("HOME", previous.toRawUTF8(), 1);
        home.deleteRecursively();
    }

    bool written = false;

private:
    juce::String previous;
    juce::File home;
};

} // namespace kalto::test
