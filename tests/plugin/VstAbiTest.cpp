// The built plug-in, loaded with dlopen and driven through the bare VST 2.4
// ABI by a host callback of our own: what any host sees, with no framework
// code of ours on the host side.

#include <gtest/gtest.h>

#include <pluginterfaces/vst2.x/aeffectx.h>

#include <dlfcn.h>

#include <array>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace
{
// Opcodes as a VST 2.4 host numbers them.
namespace op
{
constexpr int open = 0, close = 1, setProgram = 2, getProgram = 3, setProgramName = 4, getProgramName = 5;
constexpr int getParamDisplay = 7, getParamName = 8, setSampleRate = 10, setBlockSize = 11, mainsChanged = 12;
constexpr int getChunk = 23, setChunk = 24, getProgramNameIndexed = 29;
constexpr int getInputProperties = 33, getOutputProperties = 34, getPlugCategory = 35;
constexpr int setSpeakerArrangement = 42, setBypass = 0x2C, getEffectName = 45, getVendorString = 47;
constexpr int getProductString = 48, getVendorVersion = 49, canDo = 51, getTailSize = 0x34, getVstVersion = 58;
constexpr int getNumMidiInputChannels = 78, getNumMidiOutputChannels = 79;
} // namespace op

// Pin flags as VST 2.4 numbers them.
namespace pin
{
constexpr int isActive = 1, isStereo = 2;
}

namespace host
{
constexpr int version = 1, processEvents = 8;
}

using EntryPoint = AEffect* (*) (audioMasterCallback);

struct HostRecord
{
    int midiEventsReceived = 0;
    std::vector<std::array<int, 4>> midi; // delta frames, status, data 1, data 2
    int processEventsCalls = 0;
    VstIntPtr versionAnswer = 2400;
};

HostRecord* record = nullptr;

VstIntPtr VSTCALLBACK hostCallback (AEffect*, int opcode, int, VstIntPtr, void* ptr, float)
{
    if (opcode == host::version)
        return record != nullptr ? record->versionAnswer : 2400;

    if (opcode == host::processEvents && record != nullptr && ptr != nullptr)
    {
        ++record->processEventsCalls;
        const auto* events = static_cast<VstEvents*> (ptr);
        record->midiEventsReceived += events->numEvents;
        for (int i = 0; i < events->numEvents; ++i)
        {
            const auto* e = reinterpret_cast<const VstMidiEvent*> (events->events[i]);
            if (e->type == kVstMidiType)
                record->midi.push_back (
                    { e->deltaFrames, (unsigned char) e->midiData[0], e->midiData[1], e->midiData[2] });
        }
    }
    return 0;
}

class VstAbi : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        library = dlopen (KALTO_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE (library, nullptr) << dlerror();
    }

    static void TearDownTestSuite()
    {
        // The plug-in's framework keeps singletons alive for the process; it is
        // never unloaded by hosts either.
        library = nullptr;
    }

    void SetUp() override
    {
        record = &hostRecord;
        effect = open ("VSTPluginMain");
        ASSERT_NE (effect, nullptr);
    }

    void TearDown() override
    {
        if (effect != nullptr)
        {
            dispatch (op::close);
            effect = nullptr;
        }
        record = nullptr;
    }

    static EntryPoint entry (const char* name) { return reinterpret_cast<EntryPoint> (dlsym (library, name)); }

    AEffect* open (const char* entryName)
    {
        auto main = entry (entryName);
        if (main == nullptr)
            return nullptr;
        AEffect* e = main (hostCallback);
        if (e != nullptr)
            e->dispatcher (e, op::open, 0, 0, nullptr, 0.0f);
        return e;
    }

    VstIntPtr dispatch (int opcode, int index = 0, VstIntPtr value = 0, void* ptr = nullptr, float opt = 0.0f)
    {
        return effect->dispatcher (effect, opcode, index, value, ptr, opt);
    }

    std::string text (int opcode, int index = 0)
    {
        std::array<char, 256> buffer {};
        dispatch (opcode, index, 0, buffer.data());
        return buffer.data();
    }

    void startProcessing (float rate, int block)
    {
        dispatch (op::setSampleRate, 0, 0, nullptr, rate);
        dispatch (op::setBlockSize, 0, block);
        dispatch (op::mainsChanged, 0, 1);
    }

    // Processes the next stereo block of a steady 440 Hz tone and returns the outputs.
    std::array<std::vector<float>, 2> processTone (int n)
    {
        const auto start = samplesPlayed;
        samplesPlayed += n;
        std::array<std::vector<float>, 2> in, out;
        for (int ch = 0; ch < 2; ++ch)
        {
            in[(size_t) ch].resize ((size_t) n);
            out[(size_t) ch].assign ((size_t) n, 123.0f);
            for (int i = 0; i < n; ++i)
                in[(size_t) ch][(size_t) i] =
                    0.5f * (float) std::sin (6.283185307179586 * 440.0 * (double) (start + i) / 44100.0 + ch);
        }
        float* ins[2] = { in[0].data(), in[1].data() };
        float* outs[2] = { out[0].data(), out[1].data() };
        effect->processReplacing (effect, ins, outs, n);
        lastInput = in;
        return out;
    }

    static VstSpeakerArrangement arrangement (int type, int channels)
    {
        VstSpeakerArrangement a {};
        a.type = type;
        a.numChannels = channels;
        for (int i = 0; i < channels; ++i)
            a.speakers[i].type = channels == 1 ? kSpeakerM : (i == 0 ? kSpeakerL : kSpeakerR);
        return a;
    }

    static inline void* library = nullptr;
    HostRecord hostRecord;
    AEffect* effect = nullptr;
    std::array<std::vector<float>, 2> lastInput;
    long samplesPlayed = 0;
};

TEST_F (VstAbi, BothEntryPointsGiveThePlugIn)
{
    AEffect* second = open ("main_macho");
    ASSERT_NE (second, nullptr);
    EXPECT_NE (second, effect);
    EXPECT_EQ (second->uniqueID, effect->uniqueID);
    second->dispatcher (second, op::close, 0, 0, nullptr, 0.0f);
}

TEST_F (VstAbi, HostWithoutVstVersionGetsNoPlugIn)
{
    hostRecord.versionAnswer = 0;
    EXPECT_EQ (entry ("VSTPluginMain") (hostCallback), nullptr);
}

TEST_F (VstAbi, EffectFieldsCarryTheIdentity)
{
    EXPECT_EQ (effect->magic, kEffectMagic);
    EXPECT_EQ (effect->uniqueID, CCONST ('K', 'A', 'V', 'Y'));
    EXPECT_EQ (effect->version, 100);
    EXPECT_EQ (effect->numInputs, 2);
    EXPECT_EQ (effect->numOutputs, 2);
    EXPECT_EQ (effect->numPrograms, 1);
    EXPECT_EQ (effect->numParams, 26);
    EXPECT_EQ (effect->initialDelay, 0);
    EXPECT_TRUE (effect->flags & effFlagsHasEditor);
    EXPECT_TRUE (effect->flags & effFlagsCanReplacing);
    EXPECT_TRUE (effect->flags & effFlagsProgramChunks);
    EXPECT_FALSE (effect->flags & effFlagsCanDoubleReplacing);
    EXPECT_FALSE (effect->flags & effFlagsIsSynth);
}

TEST_F (VstAbi, DispatcherAnswersTheFixedQuestions)
{
    EXPECT_EQ (text (op::getEffectName), "Kalto_Vyn");
    EXPECT_EQ (text (op::getProductString), "Kalto_Vyn");
    EXPECT_EQ (text (op::getVendorString), "Kalto Music");
    EXPECT_EQ (dispatch (op::getVendorVersion), 100);
    EXPECT_EQ (dispatch (op::getPlugCategory), 1);
    EXPECT_EQ (dispatch (op::getVstVersion), 2400);
    EXPECT_EQ (dispatch (op::getTailSize), 0);
    // It sends on every channel and takes MIDI on none.
    EXPECT_EQ (dispatch (op::getNumMidiOutputChannels), 16);
    EXPECT_EQ (dispatch (op::getNumMidiInputChannels), 0);
}

TEST_F (VstAbi, CanDoTable)
{
    const std::vector<std::pair<const char*, VstIntPtr>> cases {
        { "receiveVstEvents", -1 },
        { "receiveVstMidiEvent", -1 },
        { "receiveVstMidiEvents", -1 },
        { "sendVstEvents", 1 },
        { "sendVstMidiEvent", 1 },
        { "sendVstMidiEvents", 1 },
        { "receiveVstTimeInfo", 1 },
        { "conformsToWindowRules", 1 },
        { "bypass", 1 },
        { "openCloseAnyThread", -1 },
        { "MPE", 0 },
        { "noSuchCapability", 0 },
    };
    for (const auto& [query, answer] : cases)
        EXPECT_EQ (dispatch (op::canDo, 0, 0, const_cast<char*> (query)), answer) << query;
}

TEST_F (VstAbi, OneProgramWithAnEmptyNameThatCannotChange)
{
    EXPECT_EQ (dispatch (op::getProgram), 0);
    EXPECT_EQ (text (op::getProgramName), "");
    EXPECT_EQ (text (op::getProgramNameIndexed, 0), "");

    char newName[] = "Renamed";
    dispatch (op::setProgramName, 0, 0, newName);
    dispatch (op::setProgram, 0, 0);
    EXPECT_EQ (dispatch (op::getProgram), 0);
    EXPECT_EQ (text (op::getProgramName), "");
}

TEST_F (VstAbi, StateChunkIsEmptyAndIgnoredOnRestore)
{
    for (int programOnly = 0; programOnly <= 1; ++programOnly)
    {
        void* data = reinterpret_cast<void*> (0x1);
        EXPECT_EQ (dispatch (op::getChunk, programOnly, 0, &data), 0) << programOnly;
    }

    std::vector<float> before;
    for (int i = 0; i < effect->numParams; ++i)
        before.push_back (effect->getParameter (effect, i));

    std::array<unsigned char, 64> junk {};
    for (size_t i = 0; i < junk.size(); ++i)
        junk[i] = (unsigned char) (i * 37u + 11u);
    for (int programOnly = 0; programOnly <= 1; ++programOnly)
        dispatch (op::setChunk, programOnly, (VstIntPtr) junk.size(), junk.data());

    for (int i = 0; i < effect->numParams; ++i)
        EXPECT_EQ (effect->getParameter (effect, i), before[(size_t) i]) << i;
    EXPECT_EQ (text (op::getProgramName), "");
}

// Each pin is named by its number and active; the two of a stereo
// arrangement are a stereo pair, the one of a mono arrangement is not.
TEST_F (VstAbi, PinsAreNamedByNumberActiveAndPaired)
{
    for (const int channels : { 2, 1 })
    {
        if (channels == 1)
        {
            auto mono = arrangement (kSpeakerArrMono, 1);
            ASSERT_EQ (dispatch (op::setSpeakerArrangement, 0, (VstIntPtr) &mono, &mono), 1);
        }
        for (int opcode : { op::getInputProperties, op::getOutputProperties })
        {
            for (int index = 0; index < channels; ++index)
            {
                SCOPED_TRACE (std::to_string (channels) + " channels, pin " + std::to_string (index));
                VstPinProperties properties {};
                EXPECT_EQ (dispatch (opcode, index, 0, &properties), 1);
                EXPECT_STREQ (properties.label, std::to_string (index + 1).c_str());
                EXPECT_TRUE (properties.flags & pin::isActive);
                EXPECT_EQ ((properties.flags & pin::isStereo) != 0, channels == 2);
            }
            VstPinProperties beyond {};
            EXPECT_EQ (dispatch (opcode, channels, 0, &beyond), 0);
        }
    }
}

TEST_F (VstAbi, ParameterNamesAndDefaultsByIndex)
{
    struct Expected
    {
        const char* name;
        float normalised;
    };
    // Normalised defaults computed in single precision, as the host sees them.
    const std::array<Expected, 26> table { {
        { "confidence", (0.78f - 0.01f) / (5.0f - 0.01f) },
        { "gain", (0.23f - 0.01f) / (0.99f - 0.01f) },
        { "bends", 0.0f },
        { "legato", 0.0f },
        { "convFilter", 1.0f },
        { "Channel2", 1.0f },
        { "Channel2", 0.0f },
        { "Guitar", 1.0f },
        { "Bass", 0.0f },
        { "Wet", 0.0f },
        { "On", 0.0f },
        { "Gain", 0.25f },
        { "Filter", 0.5f },
        { "Comp", 0.0f },
        { "Key", 2.0f / 100.0f },
        { "Mode", 1.0f / 100.0f },
        { "Port", 1.0f / 100.0f },
        { "PitchBendRange", 1.0f },
        { "VelocityLimit", 1.0f },
        { "Transpose", 0.5f },
        { "SynthSound", 2.0f / 6.0f },
        { "Chord0", 0.5f },
        { "Chord1", 0.5f },
        { "Chord2", 0.5f },
        { "Chord3", 0.5f },
        { "Chord4", 0.5f },
    } };

    for (int i = 0; i < 26; ++i)
    {
        EXPECT_EQ (text (op::getParamName, i), table[(size_t) i].name) << i;
        EXPECT_FLOAT_EQ (effect->getParameter (effect, i), table[(size_t) i].normalised) << i;
    }
}

TEST_F (VstAbi, HostSetsNormalisedValues)
{
    constexpr int transpose = 19, wet = 9;

    effect->setParameter (effect, transpose, 0.49f);
    EXPECT_EQ (text (op::getParamDisplay, transpose), "-1");
    EXPECT_FLOAT_EQ (effect->getParameter (effect, transpose), 35.0f / 72.0f);

    // A Bool keeps what the host stores; on from 0.5 upwards.
    effect->setParameter (effect, wet, 0.5f);
    EXPECT_EQ (text (op::getParamDisplay, wet), "On");
    EXPECT_FLOAT_EQ (effect->getParameter (effect, wet), 0.5f);
    effect->setParameter (effect, wet, 0.4999f);
    EXPECT_EQ (text (op::getParamDisplay, wet), "Off");
}

TEST_F (VstAbi, ProcessingTurnsAToneIntoMidiAndPiano)
{
    startProcessing (44100.0f, 256);
    float loudest = 0.0f;
    for (int block = 0; block < 40; ++block)
        for (const auto& channel : processTone (256))
            for (float s : channel)
                loudest = std::max (loudest, std::abs (s));

    // A4 once, at the first sample of its block, on channel 1; the Piano plays it.
    ASSERT_FALSE (hostRecord.midi.empty());
    const auto first = hostRecord.midi.front();
    EXPECT_EQ (first[0], 0);
    EXPECT_EQ (first[1], 0x90);
    EXPECT_EQ (first[2], 69);
    EXPECT_GT (first[3], 0);
    for (const auto& m : hostRecord.midi)
        EXPECT_EQ (m[0], 0);
    EXPECT_GT (loudest, 0.01f);
}

TEST_F (VstAbi, HostBypassPassesTheInputThrough)
{
    startProcessing (44100.0f, 256);
    dispatch (op::setBypass, 0, 1);

    const auto out = processTone (256);
    for (int ch = 0; ch < 2; ++ch)
        EXPECT_EQ (out[(size_t) ch], lastInput[(size_t) ch]) << ch;
    EXPECT_EQ (hostRecord.midiEventsReceived, 0);

    // Switched back on, the input is no longer what comes out.
    dispatch (op::setBypass, 0, 0);
    const auto after = processTone (256);
    EXPECT_NE (after[0], lastInput[0]);
}

// The counts the host reads follow the arrangement it asked for.
TEST_F (VstAbi, HostMayAskForMonoOrStereo)
{
    auto mono = arrangement (kSpeakerArrMono, 1);
    auto stereo = arrangement (kSpeakerArrStereo, 2);
    EXPECT_EQ (dispatch (op::setSpeakerArrangement, 0, (VstIntPtr) &mono, &mono), 1);
    EXPECT_EQ (effect->numInputs, 1);
    EXPECT_EQ (effect->numOutputs, 1);
    EXPECT_EQ (dispatch (op::setSpeakerArrangement, 0, (VstIntPtr) &stereo, &stereo), 1);
    EXPECT_EQ (effect->numInputs, 2);
    EXPECT_EQ (effect->numOutputs, 2);
}
} // namespace
