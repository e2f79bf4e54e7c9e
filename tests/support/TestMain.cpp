#include <gtest/gtest.h>

#include <juce_events/juce_events.h>

#include <cstdlib>

int main (int argc, char** argv)
{
    ::testing::InitGoogleTest (&argc, argv);

    // The plug-in keeps its presets below $HOME: every test binary, and every
    // program it starts, gets a home folder of its own and never the real one.
    char homeTemplate[] = "/tmp/kalto-test-home.XXXXXX";
    const char* home = mkdtemp (homeTemplate);
    if (home == nullptr || setenv ("HOME", home, 1) != 0)
    {
        std::fprintf (stderr, "cannot make a home folder for the tests\n");
        return 1;
    }

    int result = 0;
    {
        // Processors, editors and timers expect the framework to be running.
        juce::ScopedJuceInitialiser_GUI juceRuntime;
        result = RUN_ALL_TESTS();
    }
    juce::File (home).deleteRecursively();
    return result;
}
