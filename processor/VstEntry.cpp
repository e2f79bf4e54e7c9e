// The plug-in's exported entry points, in front of the framework's VST2 client.
//
// The client was compiled against fst, which does not know the numbers of a
// few opcodes and gives them placeholder values instead, so a host's request
// for them would never be recognised. This layer translates the host's
// numbers into the client's before passing each call on, and fills in the
// pin labels and flags the client leaves in its own format.
//
// It also stands between the client and a careless host, whose call orders,
// block sizes and values would crash the client: process calls longer than
// the prepared block are cut into prepared blocks, a block size below 1 is
// ignored, a plug-in switched off is silent, an open editor is closed before
// the plug-in, a close waits for the calls still running on other threads
// and calls on a closed plug-in touch nothing, parameter values are kept
// finite and within 0 to 1, null pointers and texts without their end are
// refused, and so is a scale factor no display has. The channel counts the
// host reads follow the arrangement it was granted, and process calls read
// no more channels than that.

#include "processor/VstHostArguments.h"
#include "processor/VstInstanceTable.h"
#include "processor/WindowManagerAtoms.h"

#include <juce_core/juce_core.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>
#include <thread>
#include <utility>

extern "C" AEffect* kaltoJuceVstPluginMain (audioMasterCallback);

namespace
{
using Power = VstInstanceTable::Power;
using Instance = VstInstanceTable::Instance;

// The client's own block size until the host announces one.
constexpr int startingBlockSize = 1024;
// The channel pointers one process call can carry; the client has two each way.
constexpr int maxChannels = 8;

VstInstanceTable instances;

// The client's callbacks: one set of functions shared by every instance.
std::atomic<AEffectDispatcherProc> clientDispatcher { nullptr };
std::atomic<AEffectProcessProc> clientProcess { nullptr };
std::atomic<AEffectProcessDoubleProc> clientProcessDouble { nullptr };
std::atomic<AEffectSetParameterProc> clientSetParameter { nullptr };
std::atomic<AEffectGetParameterProc> clientGetParameter { nullptr };
// For the client's calls to the host before its instance is in the table.
std::atomic<audioMasterCallback> latestHost { nullptr };

int32_t toClientOpcode (int32_t opcode)
{
    switch (opcode)
    {
        case kaltoVst24::setBypass: return effSetBypass;
        case kaltoVst24::getTailSize: return effGetTailSize;
        case kaltoVst24::keysRequired: return effKeysRequired;
        case kaltoVst24::getNumMidiInputChannels: return effGetNumMidiInputChannels;
        case kaltoVst24::getNumMidiOutputChannels: return effGetNumMidiOutputChannels;
        default: return opcode;
    }
}

VstIntPtr toClient (AEffect* effect, int32_t opcode, int32_t index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                    float opt = 0.0f)
{
    return clientDispatcher.load() (effect, opcode, index, value, ptr, opt);
}

// ---------------------------------------------------------------------------
// Calls from the host, and what they may touch.

// A host's call, counted while it runs. It belongs to its instance only if
// the instance was not closing once the call was counted: a close marks the
// instance before it waits for the counted calls to end, so each call is
// either waited for or sees the mark. A call that sees the mark, or comes
// with the pointer of a plug-in already closed, gets no instance and must
// not touch the effect.
class CallInside
{
public:
    CallInside (const AEffect* effect, std::atomic<int> Instance::*counter)
        : instance (instances.find (effect)), count (counter)
    {
        if (instance == nullptr)
            return;
        (instance->*count).fetch_add (1);
        // The entry may have gone to another instance since it was found.
        if (instance->closing.load() || instance->effect.load() != effect)
            leave();
    }

    ~CallInside() { leave(); }

    CallInside (const CallInside&) = delete;
    CallInside& operator= (const CallInside&) = delete;

    Instance* get() const { return instance; }

private:
    void leave()
    {
        if (instance != nullptr)
            (instance->*count).fetch_sub (1);
        instance = nullptr;
    }

    Instance* instance;
    std::atomic<int> Instance::*const count;
};

// Holds new process calls off (they give silence meanwhile) and waits for
// running ones to end. The host's UI thread waits; the audio thread never does.
class ProcessPause
{
public:
    explicit ProcessPause (Instance& i) : instance (i)
    {
        instance.pausingCalls.fetch_add (1);
        while (instance.processCalls.load() != 0)
            std::this_thread::yield();
    }

    ~ProcessPause() { instance.pausingCalls.fetch_sub (1); }

    ProcessPause (const ProcessPause&) = delete;
    ProcessPause& operator= (const ProcessPause&) = delete;

private:
    Instance& instance;
};

// Switched off by the host, the client has released what processing needs.
// Before it was ever switched on, the client switches itself on at its first
// process call.
bool mayProcess (Instance& instance)
{
    auto power = instance.power.load();
    if (power == Power::notYetOn)
        instance.power.compare_exchange_strong (power, Power::on);
    return instance.power.load() == Power::on;
}

template <typename Sample>
void silence (Sample** outputs, int channels, int32_t frames)
{
    if (outputs == nullptr)
        return;
    for (int c = 0; c < channels; ++c)
        if (outputs[c] != nullptr)
            std::fill (outputs[c], outputs[c] + frames, Sample (0));
}

// Read in place of an input the host did not give.
template <typename Sample>
struct MissingInput
{
    static constexpr int32_t length = 4096;
    static inline Sample silence[length] {};
};

template <typename Sample>
using ClientProcess = void (*) (AEffect*, Sample**, Sample**, int32_t);

// Passes a host's call to the client in pieces no longer than the block the
// client was prepared for, each with its channel pointers moved on. The MIDI
// of each piece reaches the host at the piece's place in the call: the same
// events at the same samples as from a host that calls with prepared blocks.
template <typename Sample>
void processInPieces (Instance& instance, AEffect* effect, Sample** inputs, Sample** outputs, int32_t frames,
                      ClientProcess<Sample> client)
{
    const auto numInputs = std::clamp (instance.inputs.load(), 0, maxChannels);
    const auto numOutputs = std::clamp (instance.outputs.load(), 0, maxChannels);
    auto piece = instance.blockSize.load();

    // A missing input is silence; a missing output the client knows how to skip.
    Sample* ins[maxChannels] {};
    Sample* outs[maxChannels] {};
    for (int c = 0; c < numInputs; ++c)
    {
        ins[c] = inputs != nullptr ? inputs[c] : nullptr;
        if (ins[c] == nullptr)
        {
            ins[c] = MissingInput<Sample>::silence;
            piece = std::min (piece, MissingInput<Sample>::length);
        }
    }
    for (int c = 0; c < numOutputs; ++c)
        outs[c] = outputs != nullptr ? outputs[c] : nullptr;

    if (frames == 0)
    {
        client (effect, ins, outs, 0);
        return;
    }

    Sample* pieceIns[maxChannels] {};
    Sample* pieceOuts[maxChannels] {};
    // Counted in 64 bits: the last piece may end at the largest 32-bit count.
    for (int64_t done = 0; done < frames; done += piece)
    {
        const auto offset = [done] (Sample* p) {
            return p == nullptr || p == MissingInput<Sample>::silence ? p : p + done;
        };
        std::transform (ins, ins + numInputs, pieceIns, offset);
        std::transform (outs, outs + numOutputs, pieceOuts, offset);
        instance.eventOffset.store ((int) done);
        client (effect, pieceIns, pieceOuts, (int32_t) std::min<int64_t> (piece, frames - done));
    }
    instance.eventOffset.store (0);
}

template <typename Sample>
void guardedProcess (AEffect* effect, Sample** inputs, Sample** outputs, int32_t frames, ClientProcess<Sample> client)
{
    const CallInside call (effect, &Instance::processCalls);
    auto* instance = call.get();
    if (instance == nullptr || frames < 0)
        return;

    // Admitted unless a dispatcher call is changing the client's processing
    // state at the same moment; the effect lives while the call is counted.
    const bool admitted = instance->pausingCalls.load() == 0;
    if (admitted && mayProcess (*instance))
        processInPieces (*instance, effect, inputs, outputs, frames, client);
    else
        silence (outputs, std::clamp (instance->silencedOutputs.load(), 0, maxChannels), frames);
}

void VSTCALLBACK guardedProcessReplacing (AEffect* effect, float** inputs, float** outputs, int32_t frames)
{
    guardedProcess (effect, inputs, outputs, frames, clientProcess.load());
}

void VSTCALLBACK guardedProcessDoubleReplacing (AEffect* effect, double** inputs, double** outputs, int32_t frames)
{
    guardedProcess (effect, inputs, outputs, frames, clientProcessDouble.load());
}

// A size below 1 is kept out: the client would allocate a negative count or
// prepare for no samples. A size announced while on waits for the next
// switch-on, since the client's buffers were made for the prepared one.
VstIntPtr setBlockSize (Instance& instance, AEffect* effect, VstIntPtr size)
{
    if (size < 1 || size > std::numeric_limits<int32_t>::max())
        return 0;

    ProcessPause pause (instance);
    if (instance.power.load() == Power::on)
    {
        instance.announcedBlockSize.store ((int) size);
        return 0;
    }
    instance.announcedBlockSize.store (0);
    instance.blockSize.store ((int) size);
    return toClient (effect, effSetBlockSize, 0, size);
}

// Switched off after it was on, the plug-in is silent until switched on
// again. A switch-off before it was ever on leaves the client to switch
// itself on at the first process call, as it does for a host that never
// switches.
VstIntPtr switchPower (Instance& instance, AEffect* effect, VstIntPtr value)
{
    ProcessPause pause (instance);
    if (value == 0)
    {
        const auto result = toClient (effect, effMainsChanged, 0, 0);
        auto power = Power::on;
        instance.power.compare_exchange_strong (power, Power::off);
        return result;
    }

    if (const auto size = instance.announcedBlockSize.exchange (0); size > 0)
    {
        instance.blockSize.store (size);
        toClient (effect, effSetBlockSize, 0, size);
    }
    const auto result = toClient (effect, effMainsChanged, 0, value);
    instance.power.store (Power::on);
    return result;
}

// The channels of an arrangement the host asks for, as the client takes it:
// without one, or with a negative count, that side stays as it is. (Asking
// the client for its arrangement instead would free the one it gave the
// host last.)
int requestedChannels (const void* arrangement, int current)
{
    const auto* a = static_cast<const VstSpeakerArrangement*> (arrangement);
    return a != nullptr && a->numChannels >= 0 ? std::clamp (a->numChannels, 0, maxChannels) : current;
}

// Granted an arrangement, the host reads its channel counts from the effect
// and is told that they changed. The client changes its buses under the
// process calls, so they are held off meanwhile; those that come while the
// change is under way are silent on no more outputs than both arrangements
// have, so as not to write past the host's arrays, made for either.
VstIntPtr setArrangement (Instance& instance, AEffect* effect, VstIntPtr input, void* output)
{
    const std::pair counts (instance.inputs.load(), instance.outputs.load());
    const std::pair requested (requestedChannels (reinterpret_cast<const void*> (input), counts.first),
                               requestedChannels (output, counts.second));
    instance.silencedOutputs.store (std::min (counts.second, requested.second));

    VstIntPtr result = 0;
    auto granted = counts;
    {
        ProcessPause pause (instance);
        result = toClient (effect, effSetSpeakerArrangement, 0, input, output);
        if (result != 0)
            granted = requested;
        effect->numInputs = granted.first;
        effect->numOutputs = granted.second;
        instance.inputs.store (granted.first);
        instance.outputs.store (granted.second);
    }
    instance.silencedOutputs.store (granted.second);

    if (granted != counts)
        if (const auto host = instance.host.load())
            host (effect, kaltoVst24::hostIOChanged, 0, 0, nullptr, 0.0f);
    return result;
}

// Each pin is named by its number, active, and given by its arrangement;
// the two of a stereo arrangement are a pair.
void describePin (VstPinProperties& pin, int index, int channels)
{
    const auto name = std::to_string (index + 1);
    std::snprintf (pin.label, sizeof (pin.label), "%s", name.c_str());
    std::snprintf (pin.shortLabel, sizeof (pin.shortLabel), "%s", name.c_str());
    pin.flags = kaltoVst24::pinIsActive | kaltoVst24::pinUseSpeaker | (channels == 2 ? kaltoVst24::pinIsStereo : 0);
}

// No call begins on a closing instance, and it is closed once the calls
// already running on other threads have ended; its entry goes last, after
// the client's own calls to the host while it closes. A second close finds
// nothing. The client destroys an editor left open while it restarts its
// message thread, which then paints into the window being destroyed: closed
// on its own first, the editor goes while the host's thread is the message
// thread.
VstIntPtr close (AEffect* effect)
{
    auto* instance = instances.find (effect);
    if (instance == nullptr || instance->closing.exchange (true))
        return 0;
    while (instance->processCalls.load() != 0 || instance->otherCalls.load() != 0)
        std::this_thread::yield();

    if (instance->editorOpen.exchange (false))
        toClient (effect, effEditClose);
    const auto result = toClient (effect, effClose);
    instances.remove (*instance);
    return result;
}

// The client reads a parameter's text as the framework reads a number and
// would store a NaN as it comes; a text that reads as no finite number is
// refused, as a non-finite value is.
bool readsAsFiniteNumber (const void* text)
{
    return text != nullptr && std::isfinite (juce::String::fromUTF8 (static_cast<const char*> (text)).getFloatValue());
}

VstIntPtr VSTCALLBACK guardedDispatcher (AEffect* effect, int32_t opcode, int32_t index, VstIntPtr value, void* ptr,
                                         float opt)
{
    if (opcode == effClose)
        return close (effect);

    const CallInside call (effect, &Instance::otherCalls);
    auto* instance = call.get();
    if (instance == nullptr || vstHostArguments::lacksAPointer (opcode, value, ptr))
        return 0;

    // A host's text goes on as a copy that ends where its call lets it.
    vstHostArguments::HostText text (ptr, vstHostArguments::textLimit (opcode));
    if (vstHostArguments::textLimit (opcode) > 0)
    {
        if (! text.complete())
            return 0;
        ptr = text.get();
    }

    switch (opcode)
    {
        case effSetBlockSize: return setBlockSize (*instance, effect, value);
        case effMainsChanged: return switchPower (*instance, effect, value);
        case effSetSpeakerArrangement: return setArrangement (*instance, effect, value, ptr);
        case effString2Parameter:
            if (! readsAsFiniteNumber (ptr))
                return 0;
            break;
        case effVendorSpecific:
            if (vstHostArguments::carriesScaleFactor (index, value) && ! vstHostArguments::isUsableScaleFactor (opt))
                return 0;
            break;
        case effEditClose: instance->editorOpen = false; break;
        default: break;
    }

    const auto result = toClient (effect, toClientOpcode (opcode), index, value, ptr, opt);

    if (opcode == effEditOpen && result != 0)
        instance->editorOpen = true;

    if ((opcode == effGetInputProperties || opcode == effGetOutputProperties) && result != 0)
        describePin (*static_cast<VstPinProperties*> (ptr), index,
                     opcode == effGetInputProperties ? instance->inputs.load() : instance->outputs.load());

    return result;
}

void VSTCALLBACK guardedSetParameter (AEffect* effect, int32_t index, float value)
{
    const CallInside call (effect, &Instance::otherCalls);
    if (call.get() != nullptr && std::isfinite (value))
        clientSetParameter.load() (effect, index, std::clamp (value, 0.0f, 1.0f));
}

float VSTCALLBACK guardedGetParameter (AEffect* effect, int32_t index)
{
    const CallInside call (effect, &Instance::otherCalls);
    return call.get() != nullptr ? clientGetParameter.load() (effect, index) : 0.0f;
}

// ---------------------------------------------------------------------------
// The client's calls to the host.

VstIntPtr VSTCALLBACK toHost (AEffect* effect, int32_t opcode, int32_t index, VstIntPtr value, void* ptr, float opt)
{
    auto* instance = instances.find (effect);
    const auto host = instance != nullptr ? instance->host.load() : latestHost.load();
    if (host == nullptr)
        return 0;

    // The client numbers a piece's events from the piece's first sample.
    if (instance != nullptr && opcode == audioMasterProcessEvents && ptr != nullptr)
        if (const auto offset = instance->eventOffset.load(); offset != 0)
        {
            auto* events = static_cast<VstEvents*> (ptr);
            for (int i = 0; i < events->numEvents; ++i)
                events->events[i]->deltaFrames += offset;
        }

    return host (effect, opcode, index, value, ptr, opt);
}

void takeClientCallbacks (AEffect& effect)
{
    clientDispatcher.store (effect.dispatcher);
    clientProcess.store (effect.processReplacing);
    clientProcessDouble.store (effect.processDoubleReplacing);
    clientSetParameter.store (effect.setParameter);
    clientGetParameter.store (effect.getParameter);

    effect.dispatcher = guardedDispatcher;
    effect.processReplacing = guardedProcessReplacing;
    effect.processDoubleReplacing = guardedProcessDoubleReplacing;
    effect.setParameter = guardedSetParameter;
    effect.getParameter = guardedGetParameter;
}
} // namespace

extern "C" __attribute__ ((visibility ("default"))) AEffect* VSTPluginMain (audioMasterCallback host)
{
    latestHost.store (host);
    AEffect* effect = nullptr;
    {
        // Held until the client has made its own connection to the display.
        const WindowManagerAtoms atoms;
        effect = kaltoJuceVstPluginMain (toHost);
    }
    if (effect == nullptr)
        return nullptr;

    auto* instance = instances.add (effect, host);
    if (instance == nullptr)
    {
        effect->dispatcher (effect, effClose, 0, 0, nullptr, 0.0f);
        return nullptr;
    }

    // The layer and the client start from the same size.
    instance->blockSize.store (startingBlockSize);
    takeClientCallbacks (*effect);
    toClient (effect, effSetBlockSize, 0, startingBlockSize);
    return effect;
}

extern "C" __attribute__ ((visibility ("default"))) AEffect* main_macho (audioMasterCallback host)
{
    return VSTPluginMain (host);
}
