// A careless host: call orders, block sizes, buffers and values that break
// the host's side of the VST 2.4 contract, sent through the bare ABI of the
// built plug-in. None may crash it, and each gets what a user of such a host
// expects: long calls processed as if cut into the prepared blocks, the last
// valid block size, silence while switched off, finite values in range.

#include <gtest/gtest.h>

#include <pluginterfaces/vst2.x/aeffectx.h>

#include "processor/PresetFiles.h"
#include "support/WaitUntil.h"

#include <X11/Xlib.h>
#include <dlfcn.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>
#include <thread>
#include <vector>

namespace
{
// Opcodes as a VST 2.4 host numbers them.
namespace op
{
constexpr int open = 0, close = 1, setSampleRate = 10, setBlockSize = 11, mainsChanged = 12;
constexpr int editGetRect = 13, editOpen = 14, editClose = 15, editIdle = 19;
} // namespace op

namespace hostOp
{
constexpr int version = 1, processEvents = 8;
}

enum class Layout
{
    separate,          // a buffer of its own for every channel
    sharedOutputs,     // one buffer for both outputs
    inPlace,           // the outputs are the inputs
    noInputs,          // a null input array
    noSecondInput,     // a null pointer for the second input
    noOutputs,         // a null output array
    noSecondOutput,    // a null pointer for the second output
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

std::ostream& operator<< (std::ostream& s, const Midi& m)
{
    return s << m.sample << ' ' << m.status << ' ' << m.data1 << ' ' << m.data2;
}

void* plugin()
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

    static float tone (long sample, int channel)
    {
        return 0.5f * (float) std::sin (6.283185307179586 * 440.0 * (double) sample / 44100.0 + channel);
    }

    AEffect* effect = nullptr;
    std::vector<Midi> midi;
    int eventsOutsideTheirCall = 0;

private:
    static VstIntPtr VSTCALLBACK callback (AEffect* e, int opcode, int, VstIntPtr, void* ptr, float)
    {
        if (opcode == hostOp::version)
            return 2400;
        if (opcode == hostOp::processEvents && e != nullptr && e->resvd1 != 0 && ptr != nullptr)
            reinterpret_cast<RawHost*> (e->resvd1)->receive (*static_cast<VstEvents*> (ptr));
        return 0;
    }

    void receive (const VstEvents& events)
    {
        for (int i = 0; i < events.numEvents; ++i)
        {
            const auto* e = reinterpret_cast<const VstMidiEvent*> (events.events[i]);
            if (e->deltaFrames < 0 || e->deltaFrames >= std::max (callFrames, 1))
                ++eventsOutsideTheirCall;
            if (e->type == kVstMidiType)
                midi.push_back ({ callStart + e->deltaFrames, (unsigned char) e->midiData[0], e->midiData[1], e->midiData[2] });
        }
    }

    long played = 0, callStart = 0;
    int callFrames = 0;
};

bool hasNoteOn (const std::vector<Midi>& midi)
{
    return std::any_of (midi.begin(), midi.end(), [] (const Midi& m) { return m.status == 0x90 && m.data2 > 0; });
}

// ---------------------------------------------------------------------------
// Host sequences that must come out exactly as a careful host's would: the
// same tone, processed in calls cut at the same points into pieces no longer
// than the block size the plug-in was prepared for, into separate buffers.

struct Call
{
    int opcode;
    VstIntPtr value;
    float opt;
};

Call rate (float hz) { return { op::setSampleRate, 0, hz }; }
Call block (VstIntPtr n) { return { op::setBlockSize, n, 0.0f }; }
const Call switchOn { op::mainsChanged, 1, 0.0f };
const Call switchOff { op::mainsChanged, 0, 0.0f };

struct Sequence
{
    const char* name;
    std::vector<Call> setup;
    Layout layout;
    int callFrames;     // frames in each of the host's process calls
    int preparedBlock;  // the block size the careful host announces
};

const Sequence sequences[] {
    { "long calls, separate buffers", { rate (44100), block (64), switchOn }, Layout::separate, 4096, 64 },
    { "long calls, one buffer for both outputs", { rate (44100), block (64), switchOn }, Layout::sharedOutputs, 4096, 64 },
    { "long calls in place", { rate (44100), block (64), switchOn }, Layout::inPlace, 4096, 64 },
    { "long calls of an odd length", { rate (44100), block (64), switchOn }, Layout::sharedOutputs, 1000, 64 },
    { "block size 0 announced", { rate (44100), block (256), block (0), switchOn }, Layout::sharedOutputs, 256, 256 },
    { "block size -1 announced", { rate (44100), block (256), block (-1), switchOn }, Layout::sharedOutputs, 256, 256 },
    { "lowest block size announced", { rate (44100), block (256), block (std::numeric_limits<int>::min()), switchOn },
      Layout::sharedOutputs, 256, 256 },
    { "smaller block size announced while on", { rate (44100), block (256), switchOn, block (64) },
      Layout::sharedOutputs, 256, 256 },
    { "block size announced while on, then off and on", { rate (44100), block (256), switchOn, block (64), switchOff, switchOn },
      Layout::sharedOutputs, 256, 64 },
    { "switched on twice", { rate (44100), block (256), switchOn, switchOn }, Layout::sharedOutputs, 256, 256 },
    { "never switched on", { rate (44100), block (256) }, Layout::sharedOutputs, 256, 256 },
    { "switched off before it was ever on", { rate (44100), block (256), switchOff }, Layout::sharedOutputs, 256, 256 },
};

// Each row its own test, named by its row: a row that crashes takes no other with it.
void PrintTo (const Sequence& s, std::ostream* out) { *out << s.name; }

template <typename Row>
std::string rowName (const ::testing::TestParamInfo<Row>& info)
{
    std::string name;
    for (const char* c = info.param.name; *c != 0; ++c)
        name += std::isalnum ((unsigned char) *c) ? *c : '_';
    return name;
}

class CarelessSequence : public ::testing::TestWithParam<Sequence>
{
};

TEST_P (CarelessSequence, SoundsAsACarefulHostsWould)
{
    const auto& s = GetParam();
    RawHost careless, careful;
    ASSERT_NE (careless.effect, nullptr);
    ASSERT_NE (careful.effect, nullptr);
    for (const auto& c : s.setup)
        careless.dispatch (c.opcode, 0, c.value, nullptr, c.opt);
    careful.start (44100.0f, s.preparedBlock);

    for (int played = 0; played < 12288; played += s.callFrames)
    {
        const auto heard = careless.process (s.layout, s.callFrames);

        std::vector<std::vector<float>> expected (2);
        for (int done = 0; done < s.callFrames; done += s.preparedBlock)
        {
            const auto piece = careful.process (Layout::separate, std::min (s.preparedBlock, s.callFrames - done));
            for (size_t ch = 0; ch < 2; ++ch)
                expected[ch].insert (expected[ch].end(), piece[ch].begin(), piece[ch].end());
        }
        // Both outputs in one buffer: the second channel is written last.
        if (s.layout == Layout::sharedOutputs)
            expected[0] = expected[1];

        ASSERT_EQ (heard.size(), expected.size());
        for (size_t ch = 0; ch < heard.size(); ++ch)
            ASSERT_EQ (heard[ch], expected[ch]) << "channel " << ch << " in the call from sample " << played;
    }

    EXPECT_TRUE (hasNoteOn (careful.midi));
    EXPECT_EQ (careless.midi, careful.midi);
    EXPECT_EQ (careless.eventsOutsideTheirCall, 0);
}

INSTANTIATE_TEST_SUITE_P (CarelessHost, CarelessSequence, ::testing::ValuesIn (sequences), rowName<Sequence>);

TEST (CarelessHost, SwitchedOffItIsSilentAndSendsNothing)
{
    RawHost host;
    ASSERT_NE (host.effect, nullptr);
    host.start (44100.0f, 256);
    for (int i = 0; i < 40; ++i)
        host.process (Layout::separate, 256);
    ASSERT_TRUE (hasNoteOn (host.midi));

    host.dispatch (op::mainsChanged, 0, 0);
    host.midi.clear();
    for (const auto layout : { Layout::separate, Layout::sharedOutputs, Layout::inPlace, Layout::noSecondOutput })
        for (int i = 0; i < 10; ++i)
            for (const auto& channel : host.process (layout, 256))
                for (float s : channel)
                    ASSERT_EQ (s, 0.0f);
    EXPECT_TRUE (host.midi.empty());

    // Switched on again, it plays again.
    host.dispatch (op::mainsChanged, 0, 1);
    for (int i = 0; i < 40; ++i)
        host.process (Layout::separate, 256);
    EXPECT_TRUE (hasNoteOn (host.midi));
}

// The host's UI thread switches the plug-in and announces block sizes while
// its audio thread keeps processing, as no host should.
TEST (CarelessHost, SwitchedAndResizedWhileItProcesses)
{
    RawHost host;
    ASSERT_NE (host.effect, nullptr);
    host.start (44100.0f, 256);

    std::atomic<bool> stop { false };
    std::atomic<int> calls { 0 }, nonFinite { 0 };
    std::thread audio ([&]
    {
        while (! stop)
        {
            for (const auto& channel : host.process (Layout::sharedOutputs, 1000))
                nonFinite += (int) std::count_if (channel.begin(), channel.end(), [] (float s) { return ! std::isfinite (s); });
            ++calls;
        }
    });

    // A hundred switches at least, and on until the audio thread has made
    // enough calls among them, however slowly a loaded machine runs it.
    constexpr int enoughCalls = 50;
    const kalto::test::Deadline deadline;
    for (int i = 0; (i < 100 || calls.load() < enoughCalls) && ! deadline.passed(); ++i)
    {
        host.dispatch (op::mainsChanged, 0, i % 2);
        host.dispatch (op::setBlockSize, 0, 32 << (i % 4));
        std::this_thread::sleep_for (std::chrono::microseconds (300));
    }
    stop = true;
    audio.join();

    EXPECT_GE (calls.load(), enoughCalls);
    EXPECT_EQ (nonFinite.load(), 0);
    EXPECT_EQ (host.eventsOutsideTheirCall, 0);
}

// The double precision entry is there although the plug-in does not offer
// it, and a host may call it carelessly too.
TEST (CarelessHost, DoublePrecisionCallsAreCutToo)
{
    RawHost host;
    ASSERT_NE (host.effect, nullptr);
    host.start (44100.0f, 64);

    std::vector<double> in (4096, 0.25), out (4096, 123.0);
    double* ins[2] = { in.data(), in.data() };
    double* outs[2] = { out.data(), out.data() };
    for (int i = 0; i < 4; ++i)
        host.effect->processDoubleReplacing (host.effect, ins, outs, (int) out.size());
    for (double s : out)
        ASSERT_TRUE (std::isfinite (s));
}

struct OddCall
{
    const char* name;
    Layout layout;
    int frames;
};

const OddCall oddCalls[] {
    { "no frames", Layout::separate, 0 },
    { "negative frames", Layout::separate, -64 },
    { "lowest frame count", Layout::separate, std::numeric_limits<int>::min() },
    { "no input array", Layout::noInputs, 256 },
    { "no second input", Layout::noSecondInput, 256 },
    { "no output array", Layout::noOutputs, 256 },
    { "no second output", Layout::noSecondOutput, 256 },
};

void PrintTo (const OddCall& c, std::ostream* out) { *out << c.name; }

class CarelessCall : public ::testing::TestWithParam<OddCall>
{
};

TEST_P (CarelessCall, LeavesThePlugInWorking)
{
    const auto& c = GetParam();
    RawHost host;
    ASSERT_NE (host.effect, nullptr);
    host.start (44100.0f, 256);
    for (int i = 0; i < 3; ++i)
        for (const auto& channel : host.process (c.layout, c.frames))
            for (float s : channel)
                ASSERT_TRUE (std::isfinite (s));

    for (int i = 0; i < 40; ++i)
        host.process (Layout::separate, 256);
    EXPECT_TRUE (hasNoteOn (host.midi));
    EXPECT_EQ (host.eventsOutsideTheirCall, 0);
}

INSTANTIATE_TEST_SUITE_P (CarelessHost, CarelessCall, ::testing::ValuesIn (oddCalls), rowName<OddCall>);

TEST (CarelessHost, ParameterValuesAreFiniteAndInRange)
{
    constexpr int confidence = 0, wet = 9, transpose = 19;
    constexpr float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    struct Case
    {
        int index;
        float value;
        float expected; // NaN: the value before stays
    };
    const std::vector<Case> table {
        { confidence, nan, nan }, { confidence, inf, nan }, { confidence, -inf, nan },
        { confidence, 1.5f, 1.0f }, { confidence, -0.5f, 0.0f }, { confidence, 0.75f, 0.75f },
        { wet, nan, nan }, { wet, -1.0f, 0.0f }, { wet, 1.0e30f, 1.0f }, { wet, 0.75f, 0.75f },
        { transpose, nan, nan }, { transpose, 2.0f, 1.0f }, { transpose, -3.0f, 0.0f },
    };

    RawHost host;
    ASSERT_NE (host.effect, nullptr);
    for (const auto& c : table)
    {
        host.effect->setParameter (host.effect, c.index, 0.25f);
        const auto before = host.effect->getParameter (host.effect, c.index);
        host.effect->setParameter (host.effect, c.index, c.value);
        const auto expected = std::isnan (c.expected) ? before : c.expected;
        EXPECT_EQ (host.effect->getParameter (host.effect, c.index), expected) << c.index << " set to " << c.value;
    }
}

// ---------------------------------------------------------------------------
// The editor in a window of the host's own, on the X display the test runs on.

int reportXError (Display*, XErrorEvent* e)
{
    // Reported, not fatal: Xlib's default handler would end the process.
    std::fprintf (stderr, "X error %d on request %d\n", (int) e->error_code, (int) e->request_code);
    return 0;
}

class HostWindow
{
public:
    HostWindow (Display* d, int width, int height) : display (d)
    {
        window = XCreateSimpleWindow (display, DefaultRootWindow (display), 0, 0, (unsigned) width, (unsigned) height, 0, 0, 0);
        XMapWindow (display, window);
        XFlush (display);
    }

    ~HostWindow()
    {
        XDestroyWindow (display, window);
        XFlush (display);
    }

    void pump()
    {
        while (XPending (display) > 0)
        {
            XEvent event;
            XNextEvent (display, &event);
        }
    }

    Display* display;
    Window window;
};

// A home whose default preset chooses "No Sound": an instrument decodes its
// recordings at every start, prepare and editor opening, which the editor's
// close order has nothing to do with, and which would be most of the run.
class SilentDefaultPreset
{
public:
    SilentDefaultPreset() : previous (std::getenv ("HOME"))
    {
        home = juce::File::createTempFile ("kalto-silent-home");
        setenv ("HOME", home.getFullPathName().toRawUTF8(), 1);
        juce::XmlElement preset (kalto::presetRootTag);
        preset.setAttribute ("synthSound", 0.0);
        written = kalto::presetFolder().createDirectory()
               && kalto::writePresetFile (kalto::presetFile (kalto::defaultPresetName), kalto::presetDocumentText (preset));
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

TEST (CarelessHostEditor, ClosingThePlugInWhateverTheEditorsState)
{
    if (std::getenv ("DISPLAY") == nullptr)
        GTEST_SKIP() << "needs an X display: CTest runs this under xvfb-run";
    const SilentDefaultPreset silent;
    ASSERT_TRUE (silent.written);

    Display* display = XOpenDisplay (nullptr);
    ASSERT_NE (display, nullptr);
    XSetErrorHandler (reportXError);
    // A bare X server without a window manager has neither atom; the
    // framework's window asks for them.
    XInternAtom (display, "WM_PROTOCOLS", False);
    XInternAtom (display, "WM_STATE", False);

    struct EditorSequence
    {
        const char* name;
        int idleCalls;
        bool hostClosesTheEditor;
    };
    const std::vector<EditorSequence> table {
        { "the host closes the editor first", 1, true },
        { "the editor left open after one idle call", 1, false },
        { "the editor left open after idling a while", 4, false },
        { "the editor left open, never idled", 0, false },
    };

    // Closing with a repaint still queued is what goes wrong, and only in
    // some runs of the race: a few rounds of each. An idle call and a pause
    // after it leave the editor's first repaint queued.
    for (int round = 0; round < 8; ++round)
        for (const auto& s : table)
        {
            SCOPED_TRACE (s.name);
            RawHost host;
            ASSERT_NE (host.effect, nullptr);
            host.start (44100.0f, 256);
            host.process (Layout::separate, 256);

            ERect* rect = nullptr;
            host.dispatch (op::editGetRect, 0, 0, &rect);
            ASSERT_NE (rect, nullptr);
            HostWindow parent (display, rect->right - rect->left, rect->bottom - rect->top);
            ASSERT_EQ (host.dispatch (op::editOpen, 0, 0, reinterpret_cast<void*> (parent.window)), 1);

            for (int i = 0; i < s.idleCalls; ++i)
            {
                host.dispatch (op::editIdle);
                parent.pump();
                std::this_thread::sleep_for (std::chrono::milliseconds (50));
            }
            if (s.hostClosesTheEditor)
                host.dispatch (op::editClose);
            host.close();
            parent.pump();
        }

    XCloseDisplay (display);
}
} // namespace
