// The parameter table and its plain/normalised rules, through the processor
// as the editor and the audio path use it.

#include <gtest/gtest.h>

#include "processor/KaltoAudioProcessor.h"
#include "tests/processor/ProcessorProbe.h"

namespace
{
struct ChangeCounter : juce::AudioProcessorListener
{
    void audioProcessorParameterChanged (juce::AudioProcessor*, int index, float) override
    {
        changed.push_back (index);
    }
    void audioProcessorChanged (juce::AudioProcessor*, const ChangeDetails&) override {}
    std::vector<int> changed;
};

TEST (Parameters, IdentifiersInIndexOrder)
{
    KaltoAudioProcessor processor;
    const juce::StringArray expected {
        "confidence",    "gain",      "bends",      "legato", "convFilter", "channel1",
        "channel2",      "guitar",    "bass",       "wet",    "on",         kalto::gainIntIdentifier,
        "filter",        "comp",      "key",        "mode",   "port",       "pitchBendRange",
        "velocityLimit", "transpose", "synthSound", "chord0", "chord1",     "chord2",
        "chord3",        "chord4"
    };

    const auto& params = processor.getParameters();
    ASSERT_EQ (params.size(), 26);
    for (int i = 0; i < params.size(); ++i)
    {
        auto* withId = dynamic_cast<juce::AudioProcessorParameterWithID*> (params[i]);
        ASSERT_NE (withId, nullptr);
        EXPECT_EQ (withId->getParameterID(), expected[i]) << i;
    }

    // The typed members point at the parameters of their index, and the
    // accessors give the parameter of the index asked for.
    const auto members = KaltoAudioProcessorProbe::parameterMembers (processor);
    for (int i = 0; i < params.size(); ++i)
        EXPECT_EQ (params[i], members[(size_t) i]) << i;
    EXPECT_EQ (params[kalto::confidenceIndex], processor.floatParameter (kalto::confidenceIndex));
    EXPECT_EQ (params[kalto::gainIntIndex], processor.intParameter (kalto::gainIntIndex));
    EXPECT_EQ (params[kalto::wetIndex], processor.boolParameter (kalto::wetIndex));
    for (int i = 0; i < kalto::numChordParameters; ++i)
        EXPECT_EQ (params[kalto::chord0Index + i], processor.intParameter (kalto::chord0Index + i));
}

TEST (Parameters, RangesAndPlainDefaults)
{
    KaltoAudioProcessor p;
    EXPECT_FLOAT_EQ (p.floatParameter (kalto::confidenceIndex)->get(), 0.78f);
    EXPECT_EQ (p.floatParameter (kalto::confidenceIndex)->range.start, 0.01f);
    EXPECT_EQ (p.floatParameter (kalto::confidenceIndex)->range.end, 5.0f);
    EXPECT_FLOAT_EQ (p.floatParameter (kalto::gainIndex)->get(), 0.23f);
    EXPECT_FLOAT_EQ (p.floatParameter (kalto::pitchBendRangeIndex)->get(), 2.0f);
    EXPECT_TRUE (p.boolParameter (kalto::convFilterIndex)->get());
    EXPECT_TRUE (p.boolParameter (kalto::channel1Index)->get());
    EXPECT_TRUE (p.boolParameter (kalto::guitarIndex)->get());
    EXPECT_FALSE (p.boolParameter (kalto::wetIndex)->get());

    const std::vector<std::tuple<juce::AudioParameterInt*, int, int, int>> ints {
        { p.intParameter (kalto::gainIntIndex), 0, 100, 25 },
        { p.intParameter (kalto::filterIndex), 0, 100, 50 },
        { p.intParameter (kalto::compIndex), 0, 100, 0 },
        { p.intParameter (kalto::keyIndex), 0, 100, 2 },
        { p.intParameter (kalto::modeIndex), 0, 100, 1 },
        { p.intParameter (kalto::portIndex), 0, 100, 1 },
        { p.intParameter (kalto::velocityLimitIndex), 0, 127, 127 },
        { p.intParameter (kalto::transposeIndex), -36, 36, 0 },
        { p.intParameter (kalto::synthSoundIndex), 0, 6, 2 },
        { p.intParameter (kalto::chord0Index + 0), -36, 36, 0 },
        { p.intParameter (kalto::chord0Index + 4), -36, 36, 0 },
    };
    for (const auto& [param, lo, hi, def] : ints)
    {
        EXPECT_EQ (param->getRange().getStart(), lo) << param->getName (32);
        EXPECT_EQ (param->getRange().getEnd(), hi) << param->getName (32);
        EXPECT_EQ (param->get(), def) << param->getName (32);
    }
}

// What the host and preset loads call; private in the typed classes.
void setNormalised (juce::AudioProcessorParameter* p, float v)
{
    p->setValue (v);
}
float normalised (juce::AudioProcessorParameter* p)
{
    return p->getValue();
}

TEST (Parameters, NormalisedValuesFollowTheRules)
{
    KaltoAudioProcessor p;

    // Int: nearest integer of min + v * (max - min).
    setNormalised (p.intParameter (kalto::transposeIndex), 0.49f);
    EXPECT_EQ (p.intParameter (kalto::transposeIndex)->get(), -1);
    setNormalised (p.intParameter (kalto::synthSoundIndex), 0.9f); // 5.4
    EXPECT_EQ (p.intParameter (kalto::synthSoundIndex)->get(), 5);

    // Float: linear, no step.
    setNormalised (p.floatParameter (kalto::confidenceIndex), 0.5f);
    EXPECT_FLOAT_EQ (p.floatParameter (kalto::confidenceIndex)->get(), 0.01f + 0.5f * (5.0f - 0.01f));

    // Bool: the stored value is the host's, the reading has a 0.5 threshold.
    setNormalised (p.boolParameter (kalto::wetIndex), 0.5f);
    EXPECT_TRUE (p.boolParameter (kalto::wetIndex)->get());
    EXPECT_FLOAT_EQ (normalised (p.boolParameter (kalto::wetIndex)), 0.5f);
    setNormalised (p.boolParameter (kalto::wetIndex), 0.4999f);
    EXPECT_FALSE (p.boolParameter (kalto::wetIndex)->get());
}

TEST (Parameters, AssigningTheCurrentValueNotifiesNobody)
{
    KaltoAudioProcessor p;
    ChangeCounter counter;
    p.addListener (&counter);

    *p.intParameter (kalto::velocityLimitIndex) = 127;
    *p.boolParameter (kalto::bendsIndex) = false;
    *p.floatParameter (kalto::gainIndex) = 0.23f;
    EXPECT_TRUE (counter.changed.empty());

    *p.intParameter (kalto::velocityLimitIndex) = 100;
    *p.boolParameter (kalto::bendsIndex) = true;
    EXPECT_EQ (counter.changed, (std::vector<int> { kalto::velocityLimitIndex, kalto::bendsIndex }));
    EXPECT_FLOAT_EQ (normalised (p.boolParameter (kalto::bendsIndex)), 1.0f);
    p.removeListener (&counter);
}
} // namespace
