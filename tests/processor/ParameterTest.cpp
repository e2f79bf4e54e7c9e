// The parameter table and its plain/normalised rules, through the processor
// as the editor and the audio path use it.

#include <gtest/gtest.h>

#include "processor/KaltoAudioProcessor.h"

namespace
{
struct ChangeCounter : juce::AudioProcessorListener
{
    void audioProcessorParameterChanged (juce::AudioProcessor*, int index, float) override { changed.push_back (index); }
    void audioProcessorChanged (juce::AudioProcessor*, const ChangeDetails&) override {}
    std::vector<int> changed;
};

TEST (Parameters, IdentifiersInIndexOrder)
{
    KaltoAudioProcessor processor;
    const juce::StringArray expected {
        "confidence", "gain", "bends", "legato", "convFilter", "channel1", "channel2", "guitar", "bass", "wet",
        "on", kalto::gainIntIdentifier, "filter", "comp", "key", "mode", "port", "pitchBendRange",
        "velocityLimit", "transpose", "synthSound", "chord0", "chord1", "chord2", "chord3", "chord4"
    };

    const auto& params = processor.getParameters();
    ASSERT_EQ (params.size(), 26);
    for (int i = 0; i < params.size(); ++i)
    {
        auto* withId = dynamic_cast<juce::AudioProcessorParameterWithID*> (params[i]);
        ASSERT_NE (withId, nullptr);
        EXPECT_EQ (withId->getParameterID(), expected[i]) << i;
    }

    // The typed members point at the parameters of their index.
    EXPECT_EQ (params[kalto::confidenceIndex], processor.confidenceParam);
    EXPECT_EQ (params[kalto::gainIntIndex], processor.gainIntParam);
    EXPECT_EQ (params[kalto::portIndex], processor.portParam);
    EXPECT_EQ (params[kalto::synthSoundIndex], processor.synthSoundParam);
    for (int i = 0; i < kalto::numChordParameters; ++i)
        EXPECT_EQ (params[kalto::chord0Index + i], processor.chordParams[(size_t) i]);
}

TEST (Parameters, RangesAndPlainDefaults)
{
    KaltoAudioProcessor p;
    EXPECT_FLOAT_EQ (p.confidenceParam->get(), 0.78f);
    EXPECT_EQ (p.confidenceParam->range.start, 0.01f);
    EXPECT_EQ (p.confidenceParam->range.end, 5.0f);
    EXPECT_FLOAT_EQ (p.gainParam->get(), 0.23f);
    EXPECT_FLOAT_EQ (p.pitchBendRangeParam->get(), 2.0f);
    EXPECT_TRUE (p.convFilterParam->get());
    EXPECT_TRUE (p.channel1Param->get());
    EXPECT_TRUE (p.guitarParam->get());
    EXPECT_FALSE (p.wetParam->get());

    const std::vector<std::tuple<juce::AudioParameterInt*, int, int, int>> ints {
        { p.gainIntParam, 0, 100, 25 },   { p.filterParam, 0, 100, 50 },      { p.compParam, 0, 100, 0 },
        { p.keyParam, 0, 100, 2 },        { p.modeParam, 0, 100, 1 },         { p.portParam, 0, 100, 1 },
        { p.velocityLimitParam, 0, 127, 127 }, { p.transposeParam, -36, 36, 0 }, { p.synthSoundParam, 0, 6, 2 },
        { p.chordParams[0], -36, 36, 0 }, { p.chordParams[4], -36, 36, 0 },
    };
    for (const auto& [param, lo, hi, def] : ints)
    {
        EXPECT_EQ (param->getRange().getStart(), lo) << param->getName (32);
        EXPECT_EQ (param->getRange().getEnd(), hi) << param->getName (32);
        EXPECT_EQ (param->get(), def) << param->getName (32);
    }
}

// What the host and preset loads call; private in the typed classes.
void setNormalised (juce::AudioProcessorParameter* p, float v) { p->setValue (v); }
float normalised (juce::AudioProcessorParameter* p) { return p->getValue(); }

TEST (Parameters, NormalisedValuesFollowTheRules)
{
    KaltoAudioProcessor p;

    // Int: nearest integer of min + v * (max - min).
    setNormalised (p.transposeParam, 0.49f);
    EXPECT_EQ (p.transposeParam->get(), -1);
    setNormalised (p.synthSoundParam, 0.9f); // 5.4
    EXPECT_EQ (p.synthSoundParam->get(), 5);

    // Float: linear, no step.
    setNormalised (p.confidenceParam, 0.5f);
    EXPECT_FLOAT_EQ (p.confidenceParam->get(), 0.01f + 0.5f * (5.0f - 0.01f));

    // Bool: the stored value is the host's, the reading has a 0.5 threshold.
    setNormalised (p.wetParam, 0.5f);
    EXPECT_TRUE (p.wetParam->get());
    EXPECT_FLOAT_EQ (normalised (p.wetParam), 0.5f);
    setNormalised (p.wetParam, 0.4999f);
    EXPECT_FALSE (p.wetParam->get());
}

TEST (Parameters, AssigningTheCurrentValueNotifiesNobody)
{
    KaltoAudioProcessor p;
    ChangeCounter counter;
    p.addListener (&counter);

    *p.velocityLimitParam = 127;
    *p.bendsParam = false;
    *p.gainParam = 0.23f;
    EXPECT_TRUE (counter.changed.empty());

    *p.velocityLimitParam = 100;
    *p.bendsParam = true;
    EXPECT_EQ (counter.changed, (std::vector<int> { kalto::velocityLimitIndex, kalto::bendsIndex }));
    EXPECT_FLOAT_EQ (normalised (p.bendsParam), 1.0f);
    p.removeListener (&counter);
}
} // namespace
