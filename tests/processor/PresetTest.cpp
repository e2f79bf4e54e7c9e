// Preset files: the folder and marker, the scrambled document, loading,
// saving, the modified check, and what happens to files that are not ours.

#include "tests/processor/ProcessorFixture.h"
#include "tests/processor/ProcessorProbe.h"

#include "processor/PresetCodec.h"
#include "processor/PresetDocument.h"
#include "processor/PresetFolder.h"
#include "processor/PresetRoot.h"
#include "tests/support/AccountHome.h"
#include "tests/support/FifoWatchdog.h"
#include "tests/support/FolderEntries.h"

#include <algorithm>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

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
    void audioProcessorParameterChanged (juce::AudioProcessor*, int index, float) override
    {
        indices.push_back (index);
    }
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
    const auto accented = juce::String::charToString ((juce::juce_wchar) 0xe9) + "t"
                          + juce::String::charToString ((juce::juce_wchar) 0xff);
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
        { 0.5, "0.5" },
        { 1.0, "1" },
        { 0.0, "0" },
        { 0.25, "0.25" },
        { (double) 0.02f, "0.019999999552965164185" },
        { 0.00005, "5.0000000000000002396e-05" },
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
    const auto dir = kalto::test::makeTempFolder ("locale");
    ASSERT_TRUE (dir.isDirectory());
    const auto made = std::system (("localedef -i de_DE -f UTF-8 "
                                    + dir.getChildFile ("de_DE.UTF-8").getFullPathName().quoted() + " >/dev/null 2>&1")
                                       .toRawUTF8());
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
    for (const char* good : { "Vyn Defaults", "a", "my.preset", "name with spaces", ".hidden", "x..y", "Lead...Solo",
                              "..x", "x..", "~Lead", "~" })
        EXPECT_TRUE (isSafePresetName (good)) << good;
    for (const char* bad : { "", ".", "..", "../x", "a/b", "/etc/passwd", "a\\b", "x/.." })
        EXPECT_FALSE (isSafePresetName (bad)) << bad;
}

TEST (PresetNames, FitTheFileSystemsNameLimitWithTheExtension)
{
    // 255 bytes for a file name, of which ".kalto_vyn" takes 10; counted in
    // UTF-8 bytes, not characters.
    const auto e = juce::String::charToString ((juce::juce_wchar) 0xe9);
    EXPECT_TRUE (isSafePresetName (juce::String::repeatedString ("x", 245)));
    EXPECT_TRUE (isSafePresetName (juce::String::repeatedString (e, 122) + "x"));
    EXPECT_FALSE (isSafePresetName (juce::String::repeatedString ("x", 246)));
    EXPECT_FALSE (isSafePresetName (juce::String::repeatedString (e, 123)));
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
    EXPECT_EQ (p.intParameter (kalto::synthSoundIndex)->get(), piano);
    EXPECT_EQ (p.getInstrument().getNumSounds(), 4);

    const auto text = decodeFile (defaults);
    EXPECT_EQ (defaults.getSize(), 8 * text.length());
    EXPECT_FALSE (p.isPresetModified());

    // The layout, line by line.
    auto lines = juce::StringArray::fromTokens (text, "\n", "");
    ASSERT_GE (lines.size(), 4);
    EXPECT_EQ (lines[0], "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r");
    EXPECT_EQ (lines[1], "\r");
    EXPECT_TRUE (lines[2].startsWith ("<KALTO_SETTINGS confidence=\""
                                      + presetNumberText (normalised (p.floatParameter (kalto::confidenceIndex)))
                                      + "\" gain=\""));
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
    EXPECT_EQ (xml->getDoubleAttribute ("gain"), (double) normalised (p.floatParameter (kalto::gainIndex)));
    EXPECT_EQ (xml->getDoubleAttribute (gainIntIdentifier), (double) normalised (p.intParameter (kalto::gainIntIndex)));
}

TEST_F (Presets, ASecondStartLoadsTheStoredValuesAndNotifiesEachOnce)
{
    {
        auto& p = make();
        set (p.intParameter (kalto::synthSoundIndex), (float) cello);
        set (p.floatParameter (kalto::gainIndex), 0.23f);
        set (p.intParameter (kalto::gainIntIndex), 70);
        set (p.floatParameter (kalto::confidenceIndex), 1.5f);
        set (p.boolParameter (kalto::bendsIndex), 1.0f);
        p.savePreset();
        EXPECT_FALSE (p.isPresetModified()) << "right after a save, nothing is modified";
    }
    processor.reset();

    auto& p = make();
    EXPECT_EQ (p.intParameter (kalto::synthSoundIndex)->get(), cello);
    EXPECT_EQ (p.floatParameter (kalto::gainIndex)->get(), 0.23f) << "the float gain keeps its own value";
    EXPECT_EQ (p.intParameter (kalto::gainIntIndex)->get(), 70);
    EXPECT_EQ (p.readTracker()->confidence.load(), 1.5f);
    EXPECT_TRUE (p.readTracker()->bends.load());
    EXPECT_EQ (p.getInstrument().getReverbParameters().damping, 0.8f) << "the cello is loaded";

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
    const auto before = normalised (p.floatParameter (kalto::pitchBendRangeIndex));
    set (p.floatParameter (kalto::pitchBendRangeIndex), 1.0f);
    EXPECT_TRUE (p.isPresetModified());
    p.floatParameter (kalto::pitchBendRangeIndex)->setValueNotifyingHost (before);
    EXPECT_FALSE (p.isPresetModified());

    // Saved under a new name, the new file is the reference.
    set (p.intParameter (kalto::transposeIndex), 7);
    p.savePresetAs ("Other");
    EXPECT_FALSE (p.isPresetModified());
    EXPECT_TRUE (presets().getChildFile ("Other.kalto_vyn").existsAsFile());
}

TEST_F (Presets, LoadsWhatWasSavedWhateverTheUpperRecordBytes)
{
    auto& p = make();
    set (p.intParameter (kalto::velocityLimitIndex), 99);
    set (p.intParameter (kalto::chord0Index + 4), -5);
    p.savePreset();
    const auto file = presets().getChildFile ("Vyn Defaults.kalto_vyn");

    juce::MemoryBlock bytes;
    file.loadFileAsData (bytes);
    auto* data = static_cast<uint8_t*> (bytes.getData());
    for (size_t k = 0; k < bytes.getSize(); ++k)
        if (k % 8 != 0)
            data[k] = (uint8_t) (k * 37);
    ASSERT_TRUE (file.replaceWithData (bytes.getData(), bytes.getSize()));

    set (p.intParameter (kalto::velocityLimitIndex), 10);
    set (p.intParameter (kalto::chord0Index + 4), 3);
    p.loadPreset();
    EXPECT_EQ (p.intParameter (kalto::velocityLimitIndex)->get(), 99);
    EXPECT_EQ (p.intParameter (kalto::chord0Index + 4)->get(), -5);
    EXPECT_FALSE (p.isPresetModified());
}

TEST_F (Presets, SavingTwiceLeavesOnlyTheSecondDocument)
{
    auto& p = make();
    const auto file = presets().getChildFile ("Vyn Defaults.kalto_vyn");
    // A long first document: the second must not keep its tail.
    writeDocument (file, juce::String::repeatedString ("x", 5000));
    set (p.intParameter (kalto::keyIndex), 9);
    p.savePreset();
    set (p.intParameter (kalto::keyIndex), 11);
    p.savePreset();
    const auto text = decodeFile (file);
    EXPECT_EQ (file.getSize(), 8 * text.length());
    EXPECT_TRUE (text.endsWith ("/>\r\n"));
    auto xml = juce::parseXML (text);
    ASSERT_NE (xml, nullptr);
    EXPECT_EQ ((float) xml->getDoubleAttribute ("key"), normalised (p.intParameter (kalto::keyIndex)));
}

// Something other than a file under a preset's name: a folder, a FIFO (whose
// open would wait for a writer for ever), a socket, a device.
void folderInstead (const juce::File& f)
{
    ASSERT_TRUE (f.deleteFile());
    ASSERT_TRUE (f.createDirectory().wasOk());
}

void socketInstead (const juce::File& f)
{
    ASSERT_TRUE (f.deleteFile());
    ASSERT_TRUE (test::makeSocket (f));
}

void deviceLinkInstead (const juce::File& f)
{
    ASSERT_TRUE (f.deleteFile());
    ASSERT_EQ (symlink ("/dev/zero", f.getFullPathName().toRawUTF8()), 0);
}

TEST_F (Presets, FilesThatAreNotOursChangeNothing)
{
    // The watchdog makes the FIFO where the file was.
    const auto fifo = [] (const juce::File& f) { ASSERT_TRUE (f.deleteFile()); };
    const struct
    {
        const char* name;
        std::function<void (const juce::File&)> write;
        bool parsed = false; // a document is the reference afterwards, and differs from the values
        bool aFifo = false;
    } cases[] = {
        { "7 bytes", [] (const juce::File& f) { f.replaceWithData ("1234567", 7); } },
        // replaceWithData deletes a file it is given nothing for.
        { "empty", [] (const juce::File& f) { ASSERT_EQ (truncate (f.getFullPathName().toRawUTF8(), 0), 0); } },
        { "another key",
          [] (const juce::File& f) {
              juce::MemoryOutputStream out;
              for (auto c : juce::String ("<?xml version=\"1.0\"?><KALTO_SETTINGS key=\"1\"/>"))
                  out.writeInt64 ((juce::int64) ((uint32_t) c ^ 0x11u));
              f.replaceWithData (out.getData(), out.getDataSize());
          } },
        { "plain text", [] (const juce::File& f) { f.replaceWithText ("<KALTO_SETTINGS key=\"1\"/>"); } },
        { "another root tag", [] (const juce::File& f) { writeDocument (f, "<OTHER key=\"1\" mode=\"1\"/>"); }, true },
        { "a folder", folderInstead },
        { "a FIFO", fifo, false, true },
        { "a socket", socketInstead },
        { "a link to a device", deviceLinkInstead },
    };
    const auto file = presets().getChildFile ("Vyn Defaults.kalto_vyn");
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        auto& p = make();
        set (p.intParameter (kalto::keyIndex), 7);
        p.readTracker()->confidence = 3.0f;
        c.write (file);
        std::optional<test::FifoWatchdog> watchdog;
        if (c.aFifo)
        {
            ASSERT_TRUE (watchdog.emplace (file).wasMade());
        }
        const auto entries = test::entriesOf (presets());

        Notifications heard;
        p.addListener (&heard);
        p.loadPreset();
        p.removeListener (&heard);
        if (watchdog)
        {
            EXPECT_FALSE (watchdog->freedAReader()) << "the load waited on the FIFO";
        }
        watchdog.reset();
        EXPECT_TRUE (heard.indices.empty());
        EXPECT_EQ (p.intParameter (kalto::keyIndex)->get(), 7);
        // The tracker settings are still copied in.
        EXPECT_EQ (p.readTracker()->confidence.load(), p.floatParameter (kalto::confidenceIndex)->get());
        EXPECT_EQ (KaltoAudioProcessorProbe::presetXml (p) != nullptr, c.parsed)
            << "read as no document, as any file that cannot be read";
        EXPECT_EQ (p.isPresetModified(), c.parsed);
        EXPECT_EQ (test::entriesOf (presets()), entries) << "nothing written in its place or beside it";

        // The next processor starts from a preset that is a file. The
        // framework takes a socket for a folder, and cannot delete it.
        processor.reset();
        EXPECT_EQ (std::remove (file.getFullPathName().toRawUTF8()), 0);
    }
}

// A host loading the plug-in must not hang on a defaults preset that is a
// FIFO; the plug-in starts from the parameters' defaults and writes nothing.
TEST_F (Presets, AStartWithAFifoForTheDefaultsDoesNotWait)
{
    ASSERT_TRUE (presets().createDirectory());
    const auto file = presets().getChildFile ("Vyn Defaults.kalto_vyn");
    {
        test::FifoWatchdog watchdog (file);
        ASSERT_TRUE (watchdog.wasMade());
        make();
        EXPECT_FALSE (watchdog.freedAReader()) << "the start waited on the FIFO";
    }
    auto& p = *processor;
    EXPECT_EQ (p.intParameter (kalto::synthSoundIndex)->get(), piano);
    EXPECT_EQ (p.getInstrument().getNumSounds(), 4);
    EXPECT_EQ (KaltoAudioProcessorProbe::presetXml (p), nullptr);
    EXPECT_EQ (test::entriesOf (presets()), (std::vector<std::string> { "Vyn Defaults.kalto_vyn", "kalto.lock" }));
    struct stat info
    {};
    EXPECT_TRUE (stat (file.getFullPathName().toRawUTF8(), &info) == 0 && S_ISFIFO (info.st_mode)) << "still the FIFO";
}

TEST_F (Presets, AcceptsTheTagInAnyCaseAndKeepsWhatIsMissing)
{
    auto& p = make();
    set (p.boolParameter (kalto::bendsIndex), 1.0f);
    set (p.intParameter (kalto::modeIndex), 3);
    writeDocument (presets().getChildFile ("Vyn Defaults.kalto_vyn"),
                   "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n\r\n<kalto_Settings mode=\"0.05\"/>\r\n");
    Notifications heard;
    p.addListener (&heard);
    p.loadPreset();
    p.removeListener (&heard);
    EXPECT_EQ (heard.indices, allIndices()) << "every parameter is notified, missing or not";
    EXPECT_EQ (p.intParameter (kalto::modeIndex)->get(), 5);
    EXPECT_TRUE (p.boolParameter (kalto::bendsIndex)->get());
}

TEST_F (Presets, ReadsFilesFromBeforeTheIntegerGainHadItsOwnName)
{
    // Such a file holds one "gain", in the float's place, with the integer's value.
    auto& p = make();
    set (p.floatParameter (kalto::gainIndex), 0.5f);
    const auto intValue = p.intParameter (kalto::gainIntIndex)->convertTo0to1 (80.0f);
    writeDocument (presets().getChildFile ("Vyn Defaults.kalto_vyn"),
                   "<KALTO_SETTINGS gain=\"" + presetNumberText (intValue) + "\" bends=\"1\"/>");
    p.loadPreset();
    EXPECT_EQ (p.intParameter (kalto::gainIntIndex)->get(), 80);
    EXPECT_EQ (p.floatParameter (kalto::gainIndex)->get(), 0.5f);
    EXPECT_EQ (p.readTracker()->gain.load(), 0.5f);
    EXPECT_FALSE (p.isPresetModified());
}

TEST_F (Presets, RefusedNamesTouchNothing)
{
    auto& p = make();
    const auto outside = home.getChildFile ("Music/escaped.kalto_vyn");
    for (const char* name : { "", "../escaped", "../../Music/escaped", "sub/dir" })
    {
        SCOPED_TRACE (name);
        KaltoAudioProcessorProbe::setCurrentPresetName (p, name);
        set (p.intParameter (kalto::keyIndex), 6);
        p.savePreset();
        EXPECT_FALSE (outside.exists());
        EXPECT_FALSE (presets().getChildFile ("sub").exists());
        Notifications heard;
        p.addListener (&heard);
        p.loadPreset();
        p.removeListener (&heard);
        EXPECT_TRUE (heard.indices.empty());
        EXPECT_EQ (p.intParameter (kalto::keyIndex)->get(), 6);
    }
    // The load still ends by copying the tracker settings in.
    p.readTracker()->confidence = 4.0f;
    p.loadPreset();
    EXPECT_EQ (p.readTracker()->confidence.load(), p.floatParameter (kalto::confidenceIndex)->get());
    EXPECT_EQ (presets().findChildFiles (juce::File::findFiles, false).size(), 2); // the marker and the defaults
}

// Texts a damaged, cut or hostile file may decode to. The reader needs only
// the root element's tag and attributes; each text either loads them or
// does not parse, and none may hang, crash or read past the text.
TEST_F (Presets, DamagedTextsLoadTheRootsAttributesOrChangeNothing)
{
    // As deep as a file the reader takes (1 MB) can nest.
    const auto deep = juce::String::repeatedString ("<a>", 43000);
    const auto deepClosed = juce::String::repeatedString ("<a>", 18000) + juce::String::repeatedString ("</a>", 18000);
    const struct
    {
        const char* name;
        juce::String text;
        bool loads;
    } cases[] = {
        { "a processing instruction in the content", "<KALTO_SETTINGS key=\"0.05\">a<?x?>b</KALTO_SETTINGS>", true },
        { "an unfinished character reference in the content", "<KALTO_SETTINGS key=\"0.05\">&#x", false },
        { "an unfinished character reference in a value", "<KALTO_SETTINGS key=\"0.05&#x", false },
        { "a character reference that takes the closing quote", "<KALTO_SETTINGS key=\"0.05&#x\"/>", false },
        { "deeply nested content, closed", "<KALTO_SETTINGS key=\"0.05\">" + deepClosed + "</KALTO_SETTINGS>", true },
        { "deeply nested content, not closed", "<KALTO_SETTINGS key=\"0.05\">" + deep, false },
        { "an entity that names itself",
          "<!DOCTYPE x [<!ENTITY e \"&xe;\">]><KALTO_SETTINGS key=\"0.05\" mode=\"&e;\"/>", true },
        { "cut inside the start tag", "<KALTO_SETTINGS key=\"0.05\"", false },
        { "cut before the start tag's end", "<KALTO_SETTINGS key=\"0.05\"/", false },
        { "cut inside a value", "<KALTO_SETTINGS key=\"0.05", false },
        { "cut inside the close tag", "<KALTO_SETTINGS key=\"0.05\"></KALTO_SETTINGS", false },
        { "an open start tag only", "<KALTO_SETTINGS key=\"0.05\">", false },
        { "closed by another element's tag", "<KALTO_SETTINGS key=\"0.05\"></OTHER>", false },
        { "an inner element of the same name left open",
          "<KALTO_SETTINGS key=\"0.05\"><KALTO_SETTINGS></KALTO_SETTINGS>", false },
        { "the close tag only in a comment", "<KALTO_SETTINGS key=\"0.05\"><!-- </KALTO_SETTINGS> -->", false },
        { "the close tag only in CDATA", "<KALTO_SETTINGS key=\"0.05\"><![CDATA[</KALTO_SETTINGS>]]>", false },
        { "a comment that never ends before the root", "<!-- <KALTO_SETTINGS key=\"0.05\"/>", false },
        { "'>' and '/>' inside a value", "<KALTO_SETTINGS mode=\"/>\" key=\"0.05\"/>", true },
        { "content with elements, text and comments",
          "<KALTO_SETTINGS key=\"0.05\"><x a=\"</KALTO_SETTINGS>\"/>t<!--c--><y>u</y></KALTO_SETTINGS >", true },
        { "header, comment and text around the root",
          "<?xml version=\"1.0\"?>\r\n<!-- saved -->\r\n<KALTO_SETTINGS key=\"0.05\"/>\r\nnot ours", true },
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        auto& p = make();
        set (p.intParameter (kalto::keyIndex), 7);
        writeDocument (presets().getChildFile ("Vyn Defaults.kalto_vyn"), c.text);

        Notifications heard;
        p.addListener (&heard);
        p.loadPreset();
        p.removeListener (&heard);
        if (c.loads)
        {
            ASSERT_NE (KaltoAudioProcessorProbe::presetXml (p), nullptr);
            EXPECT_EQ (p.intParameter (kalto::keyIndex)->get(), 5);
            EXPECT_EQ (heard.indices, allIndices());
            EXPECT_EQ (KaltoAudioProcessorProbe::presetXml (p)->getNumChildElements(), 0) << "the content is not read";
        }
        else
        {
            EXPECT_EQ (KaltoAudioProcessorProbe::presetXml (p), nullptr);
            EXPECT_EQ (p.intParameter (kalto::keyIndex)->get(), 7);
            EXPECT_TRUE (heard.indices.empty());
        }
    }
}

TEST (PresetText, NestingDepthHasNoLimit)
{
    const auto open = juce::String::repeatedString ("<a>", 1000000);
    const auto closed = open + juce::String::repeatedString ("</a>", 1000000);
    EXPECT_NE (parsePresetRoot ("<KALTO_SETTINGS key=\"1\">" + closed + "</KALTO_SETTINGS>"), nullptr);
    EXPECT_EQ (parsePresetRoot ("<KALTO_SETTINGS key=\"1\">" + open), nullptr);
}

TEST_F (Presets, NoCutOfASavedPresetChangesAnything)
{
    auto& p = make();
    // No instrument to decode at each load keeps the many loads quick.
    set (p.intParameter (kalto::synthSoundIndex), (float) noSound);
    set (p.intParameter (kalto::keyIndex), 9);
    set (p.floatParameter (kalto::confidenceIndex), 2.5f);
    set (p.intParameter (kalto::chord0Index + 4), -7);
    p.savePreset();
    const auto file = presets().getChildFile ("Vyn Defaults.kalto_vyn");
    juce::MemoryBlock saved;
    ASSERT_TRUE (file.loadFileAsData (saved));
    const auto text = decodeFile (file);
    ASSERT_EQ (saved.getSize(), 8 * (size_t) text.length());

    set (p.intParameter (kalto::keyIndex), 1);
    set (p.floatParameter (kalto::confidenceIndex), 0.5f);
    set (p.intParameter (kalto::chord0Index + 4), 3);
    const auto confidence = p.floatParameter (kalto::confidenceIndex)->get();
    int loaded = 0;
    for (int cut = 0; cut < text.length(); ++cut)
    {
        SCOPED_TRACE (cut);
        // Cut after a whole record or inside the next one: the same for a reader.
        ASSERT_TRUE (file.replaceWithData (saved.getData(), (size_t) cut * 8 + 1 + (size_t) (cut % 7)));
        Notifications heard;
        p.addListener (&heard);
        p.loadPreset();
        p.removeListener (&heard);
        // Only the line end after "/>" may be missing for the values to load.
        if (text.substring (0, cut).trimEnd().endsWith ("/>"))
        {
            ++loaded;
            EXPECT_EQ (p.intParameter (kalto::keyIndex)->get(), 9);
            EXPECT_EQ (heard.indices, allIndices());
            set (p.intParameter (kalto::keyIndex), 1);
            set (p.floatParameter (kalto::confidenceIndex), 0.5f);
            set (p.intParameter (kalto::chord0Index + 4), 3);
        }
        else
        {
            EXPECT_TRUE (heard.indices.empty());
            EXPECT_EQ (KaltoAudioProcessorProbe::presetXml (p), nullptr);
            EXPECT_EQ (p.intParameter (kalto::keyIndex)->get(), 1);
            EXPECT_EQ (p.floatParameter (kalto::confidenceIndex)->get(), confidence);
            EXPECT_EQ (p.intParameter (kalto::chord0Index + 4)->get(), 3);
        }
    }
    EXPECT_EQ (loaded, 2);
}

// The normalised value each attribute text gives a parameter: a finite
// number clamped to 0..1, and anything that reads as no number or as no
// finite one leaves the parameter as it was.
TEST_F (Presets, ValuesAreFiniteAndWithinZeroToOne)
{
    constexpr float kept = -1.0f;
    const struct
    {
        const char* text;
        float expected;
    } cases[] = {
        { "0.75", 0.75f },
        { "nan", kept },
        { "-nan", kept },
        { "NaN", kept },
        { "inf", kept },
        { "-inf", kept },
        { "1e400", kept },
        { "1e20", 1.0f },
        { "-3", 0.0f },
        { "1.5", 1.0f },
        { "-1e-300", 0.0f },
        // A number with text after it is read as far as it goes.
        { "0.5abc", 0.5f },
        { " 0.25", 0.25f },
        { ".5", 0.5f },
        { "+0.5x", 0.5f },
        { "5e-1e", 0.5f },
        { "0", 0.0f },
        { "-0", 0.0f },
        { "0.", 0.0f },
        // No number at all: a sign, a point or an exponent alone is none.
        { "abc", kept },
        { "", kept },
        { " ", kept },
        { "-", kept },
        { "+", kept },
        { ".", kept },
        { "-.", kept },
        { "e5", kept },
        { ".e5", kept },
        { "-e5", kept },
        { "x0.5", kept },
        { "- 0.5", kept },
        // Exponents far beyond a double's: still an infinity or 0.
        { "1e2674407959", kept },
        { "1e-2674407959", 0.0f },
        { "5e-0000000000000001", 0.5f },
        { "0.5e+", 0.5f },
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.text);
        auto& p = make();
        // A float, a bool and an int: the framework stores what a bool is
        // given as it comes, and an int rounded to its step.
        p.floatParameter (kalto::pitchBendRangeIndex)->setValueNotifyingHost (0.25f);
        p.boolParameter (kalto::bendsIndex)->setValueNotifyingHost (1.0f);
        set (p.intParameter (kalto::transposeIndex), 5.0f);
        const auto transpose = normalised (p.intParameter (kalto::transposeIndex));
        const auto value = juce::String (c.text);
        writeDocument (presets().getChildFile ("Vyn Defaults.kalto_vyn"), "<KALTO_SETTINGS pitchBendRange=\"" + value
                                                                              + "\" bends=\"" + value
                                                                              + "\" transpose=\"" + value + "\"/>");
        Notifications heard;
        p.addListener (&heard);
        p.loadPreset();
        p.removeListener (&heard);
        EXPECT_EQ (heard.indices, allIndices());
        EXPECT_EQ (normalised (p.floatParameter (kalto::pitchBendRangeIndex)), c.expected == kept ? 0.25f : c.expected);
        EXPECT_EQ (normalised (p.boolParameter (kalto::bendsIndex)), c.expected == kept ? 1.0f : c.expected);
        EXPECT_EQ (normalised (p.intParameter (kalto::transposeIndex)), c.expected == kept ? transpose : c.expected);
        EXPECT_FALSE (p.isPresetModified()) << "the document is read the same way for the comparison";
    }
}

TEST_F (Presets, FilesFarLargerThanAnyPresetAreNotRead)
{
    auto& p = make();
    set (p.intParameter (kalto::keyIndex), 7);
    const auto file = presets().getChildFile ("Vyn Defaults.kalto_vyn");
    const juce::String document = "<KALTO_SETTINGS key=\"0.05\"/>";
    const auto characters = (int) (maxPresetFileBytes / 8);

    // The largest file read: its document, then spaces.
    writeDocument (file, document + juce::String::repeatedString (" ", characters - document.length()));
    ASSERT_EQ ((size_t) file.getSize(), maxPresetFileBytes);
    p.loadPreset();
    EXPECT_EQ (p.intParameter (kalto::keyIndex)->get(), 5);

    set (p.intParameter (kalto::keyIndex), 7);
    for (const auto extra : { 1, 1 << 20 })
    {
        SCOPED_TRACE (extra);
        writeDocument (file, document + juce::String::repeatedString (" ", characters - document.length() + extra));
        Notifications heard;
        p.addListener (&heard);
        p.loadPreset();
        p.removeListener (&heard);
        EXPECT_TRUE (heard.indices.empty());
        EXPECT_EQ (KaltoAudioProcessorProbe::presetXml (p), nullptr);
        EXPECT_EQ (p.intParameter (kalto::keyIndex)->get(), 7);
    }
}

juce::MemoryBlock contentOf (const juce::File& file)
{
    juce::MemoryBlock bytes;
    file.loadFileAsData (bytes);
    return bytes;
}

TEST_F (Presets, ASaveReplacesTheFileOnlyWhenTheNewOneIsWhole)
{
    auto& p = make();
    const auto file = presets().getChildFile ("Vyn Defaults.kalto_vyn");
    set (p.intParameter (kalto::keyIndex), 9);
    p.savePreset();
    const auto first = contentOf (file);

    // The new document goes to a new file that takes the old one's name: a
    // second name for the old file still shows the old document.
    const auto held = presets().getChildFile ("held");
    ASSERT_EQ (link (file.getFullPathName().toRawUTF8(), held.getFullPathName().toRawUTF8()), 0);
    set (p.intParameter (kalto::keyIndex), 11);
    p.savePreset();
    EXPECT_EQ (contentOf (held), first);
    const auto second = contentOf (file);
    EXPECT_NE (second, first);
    ASSERT_TRUE (held.deleteFile());

    // A disk that fills up mid-save: writes past 1000 bytes fail.
    set (p.intParameter (kalto::keyIndex), 13);
    rlimit limit {};
    ASSERT_EQ (getrlimit (RLIMIT_FSIZE, &limit), 0);
    const auto previousHandler = std::signal (SIGXFSZ, SIG_IGN);
    auto small = limit;
    small.rlim_cur = 1000;
    ASSERT_EQ (setrlimit (RLIMIT_FSIZE, &small), 0);
    p.savePreset();
    setrlimit (RLIMIT_FSIZE, &limit);
    std::signal (SIGXFSZ, previousHandler);

    EXPECT_EQ (contentOf (file), second) << "the old document stays whole";
    EXPECT_EQ (presets().findChildFiles (juce::File::findFiles, false, "*", juce::File::FollowSymlinks::no).size(), 2)
        << "the marker and the preset, no half-written file beside them";
    EXPECT_TRUE (p.isPresetModified()) << "the new values reached no file";
    p.loadPreset();
    EXPECT_EQ (p.intParameter (kalto::keyIndex)->get(), 11);
}

TEST_F (Presets, EveryAcceptedNameIsSavedAndLoaded)
{
    const auto e = juce::String::charToString ((juce::juce_wchar) 0xe9);
    for (const auto& name : { juce::String ("Lead...Solo"), juce::String ("..x"),
                              juce::String::repeatedString ("x", 245), juce::String::repeatedString (e, 122) + "x" })
    {
        SCOPED_TRACE (name);
        ASSERT_TRUE (isSafePresetName (name));
        auto& p = make();
        KaltoAudioProcessorProbe::setCurrentPresetName (p, name);
        set (p.intParameter (kalto::keyIndex), 9);
        ASSERT_TRUE (presets().deleteRecursively()) << "a save makes the folder it needs";
        p.savePreset();
        EXPECT_TRUE (presets().getChildFile (name + ".kalto_vyn").existsAsFile());
        set (p.intParameter (kalto::keyIndex), 3);
        p.loadPreset();
        EXPECT_EQ (p.intParameter (kalto::keyIndex)->get(), 9);
    }
}

// The working folder for as long as one lives, then the previous one again.
struct WorkingFolder
{
    explicit WorkingFolder (const juce::File& folder) { EXPECT_TRUE (folder.setAsCurrentWorkingDirectory()); }
    ~WorkingFolder() { previous.setAsCurrentWorkingDirectory(); }
    const juce::File previous = juce::File::getCurrentWorkingDirectory();
};

// A working folder of the test's own, which the framework's path helpers
// would put a name beginning with '~' in.
struct OwnWorkingFolder
{
    OwnWorkingFolder() { current.emplace (folder); }
    ~OwnWorkingFolder()
    {
        current.reset();
        folder.deleteRecursively();
    }
    juce::File file (const juce::String& fileName) const
    {
        return juce::File (folder.getFullPathName() + "/" + fileName);
    }
    const juce::File folder = test::makeTempFolder ("working");
    std::optional<WorkingFolder> current;
};

// Names the framework reads as a home folder ("~", "~user") when they lead a
// path: each is a file in the preset folder, listed for the browser, found
// by a second instance, and nothing is written anywhere else.
TEST_F (Presets, ANameBeginningWithATildeIsAFileInThePresetFolder)
{
    const OwnWorkingFolder working;
    ASSERT_TRUE (working.folder.isDirectory());
    for (const juce::String name : { "~Lead", "~", "~root" })
    {
        SCOPED_TRACE (name);
        auto& p = make();
        set (p.intParameter (kalto::keyIndex), 9);
        p.savePresetAs (name);
        EXPECT_FALSE (p.isPresetModified());
        const auto file = presetFileOf (name);
        EXPECT_TRUE (file.existsAsFile());
        EXPECT_TRUE (findPresetFiles().contains (file)) << "listed under its own name";

        KaltoAudioProcessor second;
        set (second.intParameter (kalto::keyIndex), 3);
        second.loadPresetNamed (name);
        EXPECT_EQ (second.intParameter (kalto::keyIndex)->get(), 9);
        EXPECT_FALSE (second.isPresetModified());

        const auto fileName = (name + ".kalto_vyn").toStdString();
        EXPECT_EQ (test::entriesOf (presets()),
                   (std::vector<std::string> { "Vyn Defaults.kalto_vyn", "kalto.lock", fileName }));
        EXPECT_EQ (test::entriesOf (working.folder), std::vector<std::string>());
        // The desktop libraries may keep a settings cache in the home.
        for (const auto& entry : test::entriesOf (home))
            EXPECT_TRUE (entry == "Music" || entry == ".cache") << entry;
        EXPECT_EQ (test::entriesOf (home.getChildFile ("Music")), (std::vector<std::string> { "Kalto" }));
        ASSERT_TRUE (file.deleteFile());
    }
}

// A file under the name in the working folder, where the framework's path
// helpers would look, is never read: the load reads the preset folder's
// file, or writes it from the values when it is missing.
TEST_F (Presets, ALoadOfANameBeginningWithATildeReadsOnlyThePresetFolder)
{
    const OwnWorkingFolder working;
    ASSERT_TRUE (working.folder.isDirectory());
    const auto keyText = [] (KaltoAudioProcessor& p, int key) {
        return "<KALTO_SETTINGS key=\""
               + presetNumberText (p.intParameter (kalto::keyIndex)->convertTo0to1 ((float) key)) + "\"/>";
    };
    const struct
    {
        const char* name;
        std::optional<int> inFolder; // the key the preset folder's file holds; none: no file
        int expected;
    } cases[] = {
        { "missing from the preset folder", std::nullopt, 7 },
        { "in the preset folder", 2, 2 },
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        auto& p = make();
        const auto planted = working.file ("~Lead.kalto_vyn");
        writeDocument (planted, keyText (p, 11));
        const auto plantedBytes = contentOf (planted);
        if (c.inFolder)
            writeDocument (presetFileOf ("~Lead"), keyText (p, *c.inFolder));
        set (p.intParameter (kalto::keyIndex), 7);

        p.loadPresetNamed ("~Lead");
        EXPECT_EQ (p.intParameter (kalto::keyIndex)->get(), c.expected);
        EXPECT_FALSE (p.isPresetModified());
        EXPECT_EQ (contentOf (planted), plantedBytes);
        EXPECT_EQ (test::entriesOf (working.folder), (std::vector<std::string> { "~Lead.kalto_vyn" }));
        set (p.intParameter (kalto::keyIndex), 3);
        p.loadPreset();
        EXPECT_EQ (p.intParameter (kalto::keyIndex)->get(), c.expected) << "the preset folder holds the file";
        ASSERT_TRUE (presetFileOf ("~Lead").deleteFile());
    }
}

// A save that writes nothing leaves the values in no file: the preset counts
// as modified, even with the values of the preset loaded, until a save
// writes or a load reads.
TEST_F (Presets, ASaveThatWritesNothingLeavesThePresetModified)
{
    std::optional<test::AccountHome> noAccount;
    auto cases = unwritablePresets ("New");
    cases.insert (cases.begin(), UnwritablePreset { "no home",
                                                    [&] {
                                                        setenv ("HOME", "", 1);
                                                        noAccount.emplace (nullptr);
                                                    },
                                                    [&] {
                                                        noAccount.reset();
                                                        setenv ("HOME", home.getFullPathName().toRawUTF8(), 1);
                                                    } });
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        auto& p = make();
        ASSERT_FALSE (p.isPresetModified());
        c.prevent();
        p.savePresetAs ("New");
        EXPECT_TRUE (p.isPresetModified()) << "the values of the preset loaded, but under a name with no file";
        EXPECT_FALSE (presetFileOf ("New").existsAsFile());
        c.allow();
        p.loadPreset();
        EXPECT_FALSE (p.isPresetModified()) << "the load wrote the missing file";
        EXPECT_TRUE (presetFileOf ("New").existsAsFile());

        set (p.intParameter (kalto::keyIndex), 4);
        c.prevent();
        p.savePreset();
        EXPECT_TRUE (p.isPresetModified());
        c.allow();
        p.savePreset();
        EXPECT_FALSE (p.isPresetModified());
        KaltoAudioProcessor second;
        second.loadPresetNamed ("New");
        EXPECT_EQ (second.intParameter (kalto::keyIndex)->get(), 4);
        processor.reset();
        presets().deleteRecursively();
    }
}

// The home is HOME when that is an absolute path to a folder, else the
// password database's; the preset folder is made only inside a home that
// exists. Without one nothing is made anywhere and no preset is kept.
TEST_F (Presets, TheFolderIsMadeOnlyInsideAHomeThatExists)
{
    const auto working = home.getChildFile ("working"), account = home.getChildFile ("account"),
               missing = home.getChildFile ("missing"), missingAccount = home.getChildFile ("missing account"),
               aFile = home.getChildFile ("a file");
    ASSERT_TRUE (working.createDirectory().wasOk());
    ASSERT_TRUE (account.createDirectory().wasOk());
    ASSERT_TRUE (aFile.replaceWithText ("not a folder"));
    // A relative home would land below the working folder, which the
    // framework's plug-in loader sets to the plug-in's own.
    const WorkingFolder inWorking (working);
    const auto rootMusic = juce::File ("/Music");
    const auto rootMusicBefore = rootMusic.exists();

    const struct
    {
        juce::String environment;
        juce::File accountHome; // none: the user has no entry
        juce::File expected;    // none: presets are kept nowhere
    } cases[] = {
        { home.getFullPathName(), account, home },
        { "", account, account },
        { "relative", account, account },
        { missing.getFullPathName(), account, account },
        { aFile.getFullPathName(), account, account },
        { "", {}, {} },
        { "relative", missingAccount, {} },
        { missing.getFullPathName(), aFile, {} },
        { aFile.getFullPathName(), {}, {} },
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE ("HOME \"" + c.environment + "\", account home \"" + c.accountHome.getFullPathName() + "\"");
        ASSERT_EQ (setenv ("HOME", c.environment.toRawUTF8(), 1), 0);
        const test::AccountHome entry (c.accountHome == juce::File() ? nullptr
                                                                     : c.accountHome.getFullPathName().toRawUTF8());
        {
            auto& p = make();
            set (p.intParameter (kalto::keyIndex), 9);
            p.savePresetAs ("Other");
            set (p.intParameter (kalto::keyIndex), 3);
            Notifications heard;
            p.addListener (&heard);
            p.loadPreset();
            p.removeListener (&heard);
            const auto kept = c.expected.getChildFile ("Music/Kalto");
            if (c.expected != juce::File())
            {
                EXPECT_EQ (presetFolder(), kept);
                EXPECT_EQ (test::entriesOf (kept),
                           (std::vector<std::string> { "Other.kalto_vyn", "Vyn Defaults.kalto_vyn", "kalto.lock" }));
                EXPECT_EQ (p.intParameter (kalto::keyIndex)->get(), 9);
                EXPECT_EQ (heard.indices, allIndices());
            }
            else
            {
                EXPECT_EQ (presetFolder(), juce::File());
                EXPECT_EQ (p.intParameter (kalto::keyIndex)->get(), 3) << "nothing was kept to load";
                EXPECT_TRUE (heard.indices.empty());
                EXPECT_TRUE (p.isPresetModified()) << "the values are in no file";
            }
            processor.reset();
        }

        // Made nowhere else, and never the home itself.
        EXPECT_EQ (test::entriesOf (working), std::vector<std::string>());
        EXPECT_FALSE (missing.exists());
        EXPECT_FALSE (missingAccount.exists());
        EXPECT_TRUE (aFile.existsAsFile());
        EXPECT_EQ (rootMusic.exists(), rootMusicBefore);
        if (c.expected != account)
        {
            EXPECT_FALSE (account.getChildFile ("Music").exists());
        }
        if (c.expected != home)
        {
            EXPECT_FALSE (home.getChildFile ("Music").exists());
        }

        // Each case starts with no preset folder anywhere.
        for (const auto& made :
             working.findChildFiles (juce::File::findFilesAndDirectories, false, "*", juce::File::FollowSymlinks::no))
            made.deleteRecursively();
        missing.deleteRecursively();
        missingAccount.deleteRecursively();
        account.getChildFile ("Music").deleteRecursively();
        home.getChildFile ("Music").deleteRecursively();
        if (! rootMusicBefore)
            rootMusic.deleteRecursively();
    }
    setenv ("HOME", home.getFullPathName().toRawUTF8(), 1);
}
} // namespace
} // namespace kalto
