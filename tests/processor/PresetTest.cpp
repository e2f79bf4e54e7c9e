// Preset files: the folder and marker, the scrambled document, loading,
// saving, the modified check, and what happens to files that are not ours.

#include "tests/processor/ProcessorFixture.h"

#include "processor/PresetFiles.h"

#include <clocale>
#include <cstdio>

namespace kalto
{
namespace
{
using Presets = ProcessorTest;

juce::String decodeFile (const juce::File& file)
{
    juce::MemoryBlock bytes;
    file.loadFileAsData (bytes);
    juce::Array<uint32_t> values;
    for (size_t k = 0; k + 8 <= bytes.getSize(); k += 8)
        values.add ((uint32_t) juce::ByteOrder::littleEndianInt (static_cast<const char*> (bytes.getData()) + k));
    juce::String text;
    decodePresetText (values, text);
    return text;
}

void writeDocument (const juce::File& file, const juce::String& text)
{
    juce::Array<uint32_t> values;
    encodePresetText (text, values);
    juce::MemoryOutputStream out;
    for (auto v : values)
        out.writeInt64 ((juce::int64) v);
    ASSERT_TRUE (file.replaceWithData (out.getData(), out.getDataSize()));
}

// Counts the host notifications, in the order they come.
struct Notifications final : juce::AudioProcessorListener
{
    std::vector<int> indices;
    void audioProcessorParameterChanged (juce::AudioProcessor*, int index, float) override { indices.push_back (index); }
    void audioProcessorChanged (juce::AudioProcessor*, const ChangeDetails&) override {}
};

std::vector<int> allIndices()
{
    std::vector<int> all;
    for (int i = 0; i < numParameters; ++i)
        all.push_back (i);
    return all;
}

TEST (PresetCodec, ScramblesEachCharacterAndReadsOnlyTheLowByte)
{
    const juce::String text = "<?xml a=\"0.25\"?>\r\n";
    juce::Array<uint32_t> values;
    encodePresetText (text, values);
    ASSERT_EQ (values.size(), text.length());
    EXPECT_NE (values[0], (uint32_t) '<');
    // A negative key byte is widened with its sign, so some values carry
    // high bits; a reader ignores them.
    bool highBits = false;
    for (auto& v : values)
    {
        highBits = highBits || v > 0xff;
        v ^= 0xabcd0000u;
    }
    EXPECT_TRUE (highBits);
    juce::String decoded;
    decodePresetText (values, decoded);
    EXPECT_EQ (decoded, text);

    juce::Array<uint32_t> none;
    encodePresetText ({}, none);
    EXPECT_TRUE (none.isEmpty());

    // A value that decodes to 0 adds nothing: "A" scrambled, with "A" taken
    // out again, is the key byte itself.
    juce::Array<uint32_t> a;
    encodePresetText ("AB", a);
    juce::String zero;
    decodePresetText ({ a[0] ^ (uint32_t) 'A', a[1] }, zero);
    EXPECT_EQ (zero, "B");

    // Latin-1 text comes back whole.
    const auto accented = juce::String::charToString ((juce::juce_wchar) 0xe9) + "t" + juce::String::charToString ((juce::juce_wchar) 0xff);
    juce::Array<uint32_t> latin;
    encodePresetText (accented, latin);
    juce::String back;
    decodePresetText (latin, back);
    EXPECT_EQ (back, accented);
}

TEST (PresetCodec, NumbersAsPrintfWritesThemWithTwentyDigits)
{
    const struct
    {
        double value;
        const char* text;
    } cases[] = {
        { 0.5, "0.5" }, { 1.0, "1" }, { 0.0, "0" }, { 0.25, "0.25" },
        { (double) 0.02f, "0.019999999552965164185" }, { 0.00005, "5.0000000000000002396e-05" },
    };
    for (const auto& c : cases)
    {
        EXPECT_EQ (presetNumberText (c.value), c.text);
        EXPECT_EQ ((float) juce::String (c.text).getDoubleValue(), (float) c.value);
    }
}

TEST (PresetCodec, NumbersIgnoreTheHostsLocale)
{
    // Hosts set the locale from the environment; a German one writes 0,5.
    const auto dir = juce::File::createTempFile ("locale");
    ASSERT_TRUE (dir.createDirectory());
    const auto made = std::system (("localedef -i de_DE -f UTF-8 " + dir.getChildFile ("de_DE.UTF-8").getFullPathName().quoted()
                                    + " >/dev/null 2>&1").toRawUTF8());
    setenv ("LOCPATH", dir.getFullPathName().toRawUTF8(), 1);
    if (made != 0 || std::setlocale (LC_NUMERIC, "de_DE.UTF-8") == nullptr)
    {
        unsetenv ("LOCPATH");
        dir.deleteRecursively();
        GTEST_SKIP() << "no German locale can be made here";
    }
    char printed[32];
    std::snprintf (printed, sizeof (printed), "%g", 0.5);
    const auto text = presetNumberText (0.25);
    std::setlocale (LC_NUMERIC, "C");
    unsetenv ("LOCPATH");
    dir.deleteRecursively();

    EXPECT_STREQ (printed, "0,5") << "the locale is in force";
    EXPECT_EQ (text, "0.25");
}

TEST (PresetNames, StayInsideThePresetFolder)
{
    for (const char* good : { "Vyn Defaults", "a", "my.preset", "name with spaces", ".hidden" })
        EXPECT_TRUE (isSafePresetName (good)) << good;
    for (const char* bad : { "", "../x", "..", "a/b", "/etc/passwd", "a\\b", "x..y" })
        EXPECT_FALSE (isSafePresetName (bad)) << bad;
}

TEST_F (Presets, FirstStartWritesTheFolderMarkerAndDefaults)
{
    ASSERT_FALSE (presets().exists());
    auto& p = make();
    const auto marker = presets().getChildFile ("kalto.lock");
    const auto defaults = presets().getChildFile ("Vyn Defaults.kalto_vyn");
    EXPECT_TRUE (marker.existsAsFile());
    EXPECT_EQ (marker.getSize(), 0);
    ASSERT_TRUE (defaults.existsAsFile());
    EXPECT_EQ (p.synthSoundParam->get(), piano);
    EXPECT_EQ (p.instrument->getNumSounds(), 4);

    const auto text = decodeFile (defaults);
    EXPECT_EQ (defaults.getSize(), 8 * text.length());
    EXPECT_FALSE (p.isPresetModified());

    // The layout, line by line.
    auto lines = juce::StringArray::fromTokens (text, "\n", "");
    ASSERT_GE (lines.size(), 4);
    EXPECT_EQ (lines[0], "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r");
    EXPECT_EQ (lines[1], "\r");
    EXPECT_TRUE (lines[2].startsWith ("<KALTO_SETTINGS confidence=\"" + presetNumberText (normalised (p.confidenceParam)) + "\" gain=\""));
    EXPECT_TRUE (text.endsWith ("/>\r\n"));
    for (int i = 3; i < lines.size() - 1; ++i)
    {
        // 15 spaces, then the attribute's own leading space.
        EXPECT_TRUE (lines[i].startsWith ("                ") && lines[i][16] != ' ') << lines[i];
        EXPECT_TRUE (lines[i].endsWith ("\r")) << lines[i];
    }
    // Every line but the last ends with the attribute that took it past 60.
    for (int i = 2; i < lines.size() - 2; ++i)
    {
        const auto attributes = lines[i].substring (15).trimEnd();
        const auto lastAttribute = attributes.fromLastOccurrenceOf (" ", true, false);
        EXPECT_GT (attributes.length(), 60) << lines[i];
        EXPECT_LE (attributes.length() - lastAttribute.length(), 60) << lines[i];
    }

    // The document holds every identifier once, the integer gain its own.
    auto xml = juce::parseXML (text);
    ASSERT_NE (xml, nullptr);
    EXPECT_EQ (xml->getNumAttributes(), numParameters);
    EXPECT_EQ (xml->getDoubleAttribute ("gain"), (double) normalised (p.gainParam));
    EXPECT_EQ (xml->getDoubleAttribute (gainIntIdentifier), (double) normalised (p.gainIntParam));
}

TEST_F (Presets, ASecondStartLoadsTheStoredValuesAndNotifiesEachOnce)
{
    {
        auto& p = make();
        set (p.synthSoundParam, (float) cello);
        set (p.gainParam, 0.23f);
        set (p.gainIntParam, 70);
        set (p.confidenceParam, 1.5f);
        set (p.bendsParam, 1.0f);
        p.savePreset();
        EXPECT_FALSE (p.isPresetModified()) << "right after a save, nothing is modified";
    }
    processor.reset();

    auto& p = make();
    EXPECT_EQ (p.synthSoundParam->get(), cello);
    EXPECT_EQ (p.gainParam->get(), 0.23f) << "the float gain keeps its own value";
    EXPECT_EQ (p.gainIntParam->get(), 70);
    EXPECT_EQ (p.tracker.read()->confidence.load(), 1.5f);
    EXPECT_TRUE (p.tracker.read()->bends.load());
    EXPECT_EQ (p.instrument->getReverbParameters().damping, 0.8f) << "the cello is loaded";

    Notifications heard;
    p.addListener (&heard);
    p.loadPreset();
    p.removeListener (&heard);
    EXPECT_EQ (heard.indices, allIndices());
}

TEST_F (Presets, ModifiedUntilTheSameFloatIsSetBack)
{
    auto& p = make();
    EXPECT_FALSE (p.isPresetModified());
    const auto before = normalised (p.pitchBendRangeParam);
    set (p.pitchBendRangeParam, 1.0f);
    EXPECT_TRUE (p.isPresetModified());
    p.pitchBendRangeParam->setValueNotifyingHost (before);
    EXPECT_FALSE (p.isPresetModified());

    // Saved under a new name, the new file is the reference.
    set (p.transposeParam, 7);
    *p.currentPresetName = "Other";
    p.savePreset();
    EXPECT_FALSE (p.isPresetModified());
    EXPECT_TRUE (presets().getChildFile ("Other.kalto_vyn").existsAsFile());
}

TEST_F (Presets, LoadsWhatWasSavedWhateverTheUpperRecordBytes)
{
    auto& p = make();
    set (p.velocityLimitParam, 99);
    set (p.chordParams[4], -5);
    p.savePreset();
    const auto file = presets().getChildFile ("Vyn Defaults.kalto_vyn");

    juce::MemoryBlock bytes;
    file.loadFileAsData (bytes);
    auto* data = static_cast<uint8_t*> (bytes.getData());
    for (size_t k = 0; k < bytes.getSize(); ++k)
        if (k % 8 != 0)
            data[k] = (uint8_t) (k * 37);
    ASSERT_TRUE (file.replaceWithData (bytes.getData(), bytes.getSize()));

    set (p.velocityLimitParam, 10);
    set (p.chordParams[4], 3);
    p.loadPreset();
    EXPECT_EQ (p.velocityLimitParam->get(), 99);
    EXPECT_EQ (p.chordParams[4]->get(), -5);
    EXPECT_FALSE (p.isPresetModified());
}

TEST_F (Presets, SavingTwiceLeavesOnlyTheSecondDocument)
{
    auto& p = make();
    const auto file = presets().getChildFile ("Vyn Defaults.kalto_vyn");
    // A long first document: the second must not keep its tail.
    writeDocument (file, juce::String::repeatedString ("x", 5000));
    set (p.keyParam, 9);
    p.savePreset();
    set (p.keyParam, 11);
    p.savePreset();
    const auto text = decodeFile (file);
    EXPECT_EQ (file.getSize(), 8 * text.length());
    EXPECT_TRUE (text.endsWith ("/>\r\n"));
    auto xml = juce::parseXML (text);
    ASSERT_NE (xml, nullptr);
    EXPECT_EQ ((float) xml->getDoubleAttribute ("key"), normalised (p.keyParam));
}

TEST_F (Presets, FilesThatAreNotOursChangeNothing)
{
    const struct
    {
        const char* name;
        std::function<void (const juce::File&)> write;
        bool modifiedAfter = false; // compared with what the file held
    } cases[] = {
        { "7 bytes", [] (const juce::File& f) { f.replaceWithData ("1234567", 7); } },
        { "empty", [] (const juce::File& f) { f.replaceWithData ("", 0); } },
        { "another key", [] (const juce::File& f) {
              juce::MemoryOutputStream out;
              for (auto c : juce::String ("<?xml version=\"1.0\"?><KALTO_SETTINGS key=\"1\"/>"))
                  out.writeInt64 ((juce::int64) ((uint32_t) c ^ 0x11u));
              f.replaceWithData (out.getData(), out.getDataSize());
          } },
        { "plain text", [] (const juce::File& f) { f.replaceWithText ("<KALTO_SETTINGS key=\"1\"/>"); } },
        { "another root tag", [] (const juce::File& f) { writeDocument (f, "<OTHER key=\"1\" mode=\"1\"/>"); }, true },
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        auto& p = make();
        set (p.keyParam, 7);
        p.tracker.read()->confidence = 3.0f;
        c.write (presets().getChildFile ("Vyn Defaults.kalto_vyn"));

        Notifications heard;
        p.addListener (&heard);
        p.loadPreset();
        p.removeListener (&heard);
        EXPECT_TRUE (heard.indices.empty());
        EXPECT_EQ (p.keyParam->get(), 7);
        // The tracker settings are still copied in.
        EXPECT_EQ (p.tracker.read()->confidence.load(), p.confidenceParam->get());
        EXPECT_EQ (p.isPresetModified(), c.modifiedAfter);
    }
}

TEST_F (Presets, AcceptsTheTagInAnyCaseAndKeepsWhatIsMissing)
{
    auto& p = make();
    set (p.bendsParam, 1.0f);
    set (p.modeParam, 3);
    writeDocument (presets().getChildFile ("Vyn Defaults.kalto_vyn"),
                   "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n\r\n<kalto_Settings mode=\"0.05\"/>\r\n");
    Notifications heard;
    p.addListener (&heard);
    p.loadPreset();
    p.removeListener (&heard);
    EXPECT_EQ (heard.indices, allIndices()) << "every parameter is notified, missing or not";
    EXPECT_EQ (p.modeParam->get(), 5);
    EXPECT_TRUE (p.bendsParam->get());
}

TEST_F (Presets, ReadsFilesFromBeforeTheIntegerGainHadItsOwnName)
{
    // Such a file holds one "gain", in the float's place, with the integer's value.
    auto& p = make();
    set (p.gainParam, 0.5f);
    const auto intValue = p.gainIntParam->convertTo0to1 (80.0f);
    writeDocument (presets().getChildFile ("Vyn Defaults.kalto_vyn"),
                   "<KALTO_SETTINGS gain=\"" + presetNumberText (intValue) + "\" bends=\"1\"/>");
    p.loadPreset();
    EXPECT_EQ (p.gainIntParam->get(), 80);
    EXPECT_EQ (p.gainParam->get(), 0.5f);
    EXPECT_EQ (p.tracker.read()->gain.load(), 0.5f);
    EXPECT_FALSE (p.isPresetModified());
}

TEST_F (Presets, RefusedNamesTouchNothing)
{
    auto& p = make();
    const auto outside = home.getChildFile ("Music/escaped.kalto_vyn");
    for (const char* name : { "", "../escaped", "../../Music/escaped", "sub/dir" })
    {
        SCOPED_TRACE (name);
        *p.currentPresetName = name;
        set (p.keyParam, 6);
        p.savePreset();
        EXPECT_FALSE (outside.exists());
        EXPECT_FALSE (presets().getChildFile ("sub").exists());
        Notifications heard;
        p.addListener (&heard);
        p.loadPreset();
        p.removeListener (&heard);
        EXPECT_TRUE (heard.indices.empty());
        EXPECT_EQ (p.keyParam->get(), 6);
    }
    // The load still ends by copying the tracker settings in.
    p.tracker.read()->confidence = 4.0f;
    p.loadPreset();
    EXPECT_EQ (p.tracker.read()->confidence.load(), p.confidenceParam->get());
    EXPECT_EQ (presets().findChildFiles (juce::File::findFiles, false).size(), 2); // the marker and the defaults
}
} // namespace
} // namespace kalto
