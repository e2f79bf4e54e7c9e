// A careless host: call orders, block sizes, buffers and values that break
// the host's side of the VST 2.4 contract, sent through the bare ABI of the
// built plug-in. None may crash it, and each gets what a user of such a host
// expects: long calls processed as if cut into the prepared blocks, the last
// valid block size, silence while switched off, finite values in range.

#include "plugin/RawHost.h"
#include "support/WaitUntil.h"

#include <X11/Xlib.h>

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
using namespace kalto::test;

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

Call rate (float hz)
{
    return { op::setSampleRate, 0, hz };
}
Call block (VstIntPtr n)
{
    return { op::setBlockSize, n, 0.0f };
}
const Call switchOn { op::mainsChanged, 1, 0.0f };
const Call switchOff { op::mainsChanged, 0, 0.0f };

struct Sequence
{
    const char* name;
    std::vector<Call> setup;
    Layout layout;
    int callFrames;    // frames in each of the host's process calls
    int preparedBlock; // the block size the careful host announces
};

const Sequence sequences[] {
    { "long calls, separate buffers", { rate (44100), block (64), switchOn }, Layout::separate, 4096, 64 },
    { "long calls, one buffer for both outputs",
      { rate (44100), block (64), switchOn },
      Layout::sharedOutputs,
      4096,
      64 },
    { "long calls in place", { rate (44100), block (64), switchOn }, Layout::inPlace, 4096, 64 },
    { "long calls of an odd length", { rate (44100), block (64), switchOn }, Layout::sharedOutputs, 1000, 64 },
    { "block size 0 announced", { rate (44100), block (256), block (0), switchOn }, Layout::sharedOutputs, 256, 256 },
    { "block size -1 announced", { rate (44100), block (256), block (-1), switchOn }, Layout::sharedOutputs, 256, 256 },
    { "lowest block size announced",
      { rate (44100), block (256), block (std::numeric_limits<int>::min()), switchOn },
      Layout::sharedOutputs,
      256,
      256 },
    { "smaller block size announced while on",
      { rate (44100), block (256), switchOn, block (64) },
      Layout::sharedOutputs,
      256,
      256 },
    { "block size announced while on, then off and on",
      { rate (44100), block (256), switchOn, block (64), switchOff, switchOn },
      Layout::sharedOutputs,
      256,
      64 },
    { "switched on twice", { rate (44100), block (256), switchOn, switchOn }, Layout::sharedOutputs, 256, 256 },
    { "never switched on", { rate (44100), block (256) }, Layout::sharedOutputs, 256, 256 },
    { "switched off before it was ever on", { rate (44100), block (256), switchOff }, Layout::sharedOutputs, 256, 256 },
};

// Each row its own test, named by its row: a row that crashes takes no other with it.
void PrintTo (const Sequence& s, std::ostream* out)
{
    *out << s.name;
}

template <typename Row>
std::string rowName (const ::testing::TestParamInfo<Row>& info)
{
    std::string name;
    for (const char* c = info.param.name; *c != 0; ++c)
        name += std::isalnum ((unsigned char) *c) ? *c : '_';
    return name;
}

class CarelessSequence : public ::testing::TestWithParam<Sequence>
{};

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
    std::thread audio ([&] {
        while (! stop)
        {
            for (const auto& channel : host.process (Layout::sharedOutputs, 1000))
                nonFinite +=
                    (int) std::count_if (channel.begin(), channel.end(), [] (float s) { return ! std::isfinite (s); });
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

void PrintTo (const OddCall& c, std::ostream* out)
{
    *out << c.name;
}

class CarelessCall : public ::testing::TestWithParam<OddCall>
{};

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
        { confidence, nan, nan },   { confidence, inf, nan },    { confidence, -inf, nan },
        { confidence, 1.5f, 1.0f }, { confidence, -0.5f, 0.0f }, { confidence, 0.75f, 0.75f },
        { wet, nan, nan },          { wet, -1.0f, 0.0f },        { wet, 1.0e30f, 1.0f },
        { wet, 0.75f, 0.75f },      { transpose, nan, nan },     { transpose, 2.0f, 1.0f },
        { transpose, -3.0f, 0.0f },
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

    // Values typed into a host's parameter view: a text that reads as no
    // finite number changes nothing, and the rest is clamped to the range.
    constexpr int gain = 1, pitchBendRange = 17;
    struct Text
    {
        int index;
        const char* text;
        float expected; // NaN: the value before stays
    };
    const std::vector<Text> texts {
        { pitchBendRange, "nan", nan },
        { pitchBendRange, "-NaN", nan },
        { pitchBendRange, "inf", nan },
        { pitchBendRange, "-inf", nan },
        { pitchBendRange, "1e999", nan },
        { pitchBendRange, "1e30", 1.0f },
        { pitchBendRange, "-5", 0.0f },
        { pitchBendRange, "1", 0.5f },
        { pitchBendRange, "1.5 semitones", 0.75f },
        { confidence, "nan", nan },
        { confidence, "6", 1.0f },
        { gain, "nan", nan },
        { gain, "0.01", 0.0f },
        { transpose, "nan", nan },
        { transpose, "7", 43.0f / 72.0f },
        { wet, "nan", nan },
        { wet, "on", 1.0f },
    };
    for (const auto& t : texts)
    {
        host.effect->setParameter (host.effect, t.index, 0.25f);
        const auto before = host.effect->getParameter (host.effect, t.index);
        host.dispatch (op::string2Parameter, t.index, 0, const_cast<char*> (t.text));
        const auto expected = std::isnan (t.expected) ? before : t.expected;
        EXPECT_FLOAT_EQ (host.effect->getParameter (host.effect, t.index), expected)
            << t.index << " typed as " << t.text;
    }
}

// Notes held when bypass begins, or when the plug-in is switched off and on,
// end in the first call that has frames: a host may drop events in a call of
// none, and the note would then hang.
TEST (CarelessHost, HeldNotesEndInTheFirstCallWithFrames)
{
    const Call bypassOn { op::setBypass, 1, 0.0f };
    const std::vector<std::pair<const char*, std::vector<Call>>> rows {
        { "bypass begins", { bypassOn } },
        { "switched off and on", { switchOff, switchOn } },
    };
    for (const auto& [name, calls] : rows)
    {
        SCOPED_TRACE (name);
        RawHost host;
        ASSERT_NE (host.effect, nullptr);
        host.start (44100.0f, 256);
        for (int i = 0; i < 40 && ! hasNoteOn (host.midi); ++i)
            host.process (Layout::separate, 256);
        ASSERT_TRUE (hasNoteOn (host.midi));
        const auto held =
            std::find_if (host.midi.rbegin(), host.midi.rend(), [] (const Midi& m) { return m.status == 0x90; })->data1;

        host.midi.clear();
        for (const auto& c : calls)
            host.dispatch (c.opcode, 0, c.value, nullptr, c.opt);
        for (int i = 0; i < 3; ++i)
            host.process (Layout::separate, 0);
        EXPECT_TRUE (host.midi.empty()) << "events in a call of no frames";

        host.process (Layout::separate, 256);
        const auto ended = std::any_of (host.midi.begin(), host.midi.end(), [held = held] (const Midi& m) {
            return m.data1 == held && (m.status == 0x80 || (m.status == 0x90 && m.data2 == 0));
        });
        EXPECT_TRUE (ended) << "note " << held << " was not ended";
        EXPECT_EQ (host.eventsOutsideTheirCall, 0);
    }
}

// Calls that a host makes with the pointer of a plug-in it has closed, through
// the functions it took from it before: each finds nothing and touches nothing.
TEST (CarelessHost, CallsAfterTheCloseTouchNothing)
{
    const std::vector<std::pair<const char*, void (*) (AEffect*, const AEffect&)>> rows {
        { "a second close",
          [] (AEffect* e, const AEffect& f) { EXPECT_EQ (f.dispatcher (e, op::close, 0, 0, nullptr, 0.0f), 0); } },
        { "a question",
          [] (AEffect* e, const AEffect& f) {
              char name[64] = {};
              EXPECT_EQ (f.dispatcher (e, op::getParamName, 0, 0, name, 0.0f), 0);
          } },
        { "an editor's idle call",
          [] (AEffect* e, const AEffect& f) { f.dispatcher (e, op::editIdle, 0, 0, nullptr, 0.0f); } },
        { "a process call",
          [] (AEffect* e, const AEffect& f) {
              std::vector<float> in (256, 0.25f), out (256, 123.0f);
              float* ins[2] = { in.data(), in.data() };
              float* outs[2] = { out.data(), out.data() };
              f.processReplacing (e, ins, outs, 256);
              EXPECT_EQ (out[0], 123.0f) << "the outputs are the host's own again";
          } },
        { "a parameter set", [] (AEffect* e, const AEffect& f) { f.setParameter (e, 0, 0.5f); } },
        { "a parameter read", [] (AEffect* e, const AEffect& f) { EXPECT_EQ (f.getParameter (e, 0), 0.0f); } },
    };
    for (const auto& [name, call] : rows)
    {
        SCOPED_TRACE (name);
        RawHost host;
        ASSERT_NE (host.effect, nullptr);
        host.start (44100.0f, 256);
        host.process (Layout::separate, 256);
        AEffect* stale = host.effect;
        const AEffect functions = *stale;
        host.close();
        call (stale, functions);
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
        window = XCreateSimpleWindow (display, DefaultRootWindow (display), 0, 0, (unsigned) width, (unsigned) height,
                                      0, 0, 0);
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
