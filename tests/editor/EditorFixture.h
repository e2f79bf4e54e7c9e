#pragma once

// Components drawn headless and driven as a user would: snapshots painted into
// images (written as PNG for a person to look at), pixels read back, the
// message loop pumped by hand, and mouse events through a real peer.
//
// The test binary runs with DISPLAY pointing at a display where nothing
// listens (see Headless.cpp), so no window ever appears and no X server is
// needed; a component on the desktop still gets a peer that takes mouse events.

#include <gtest/gtest.h>

#include <juce_audio_processors/juce_audio_processors.h>
#include <juce_gui_basics/juce_gui_basics.h>

#include "editor/kalto_lookandfeel.h"

#include <algorithm>
#include <climits>
#include <functional>
#include <memory>
#include <stdexcept>
#include <utility>
#include <vector>

namespace juce
{
// JUCE's own Linux message step, declared as its plug-in client declares it.
bool dispatchNextMessageOnSystemQueue (bool returnIfNoPendingMessages);
} // namespace juce

namespace kalto::test
{

// Delivers every message waiting: change messages, async updates, repaints.
inline void pumpMessages()
{
    // Never with false: that blocks until a message comes.
    for (int i = 0; i < 10000 && juce::dispatchNextMessageOnSystemQueue (true); ++i)
    {
    }
}

inline juce::Image snapshot (juce::Component& c)
{
    return c.createComponentSnapshot (c.getLocalBounds(), true, 1.0f);
}

// Writes the image under the build folder for a person to look at.
inline juce::File savePng (const juce::Image& image, const juce::String& name)
{
    const auto file = juce::File (KALTO_SNAPSHOT_DIR).getChildFile (name + ".png");
    (void) file.getParentDirectory().createDirectory();
    (void) file.deleteFile();
    if (auto stream = file.createOutputStream())
        juce::PNGImageFormat().writeImageToStream (image, *stream);
    return file;
}

inline juce::Colour pixel (const juce::Image& image, int x, int y)
{
    return image.getPixelAt (x, y);
}

// Pixels of an area for which `test` holds.
inline int count (const juce::Image& image, juce::Rectangle<int> area, const std::function<bool (juce::Colour)>& test)
{
    int n = 0;
    area = area.getIntersection (image.getBounds());
    for (int y = area.getY(); y < area.getBottom(); ++y)
        for (int x = area.getX(); x < area.getRight(); ++x)
            n += test (image.getPixelAt (x, y)) ? 1 : 0;
    return n;
}

// The smallest rectangle holding every pixel of an area for which `test`
// holds; empty when there is none.
inline juce::Rectangle<int> extent (const juce::Image& image, juce::Rectangle<int> area,
                                    const std::function<bool (juce::Colour)>& test)
{
    int left = INT_MAX, top = INT_MAX, right = INT_MIN, bottom = INT_MIN;
    area = area.getIntersection (image.getBounds());
    for (int y = area.getY(); y < area.getBottom(); ++y)
        for (int x = area.getX(); x < area.getRight(); ++x)
            if (test (image.getPixelAt (x, y)))
            {
                left = std::min (left, x);
                right = std::max (right, x + 1);
                top = std::min (top, y);
                bottom = std::max (bottom, y + 1);
            }
    return left > right ? juce::Rectangle<int>() : juce::Rectangle<int> (left, top, right - left, bottom - top);
}

inline juce::Rectangle<int> extent (const juce::Image& image, const std::function<bool (juce::Colour)>& test)
{
    return extent (image, image.getBounds(), test);
}

// Colour tests, within `tolerance` per channel (antialiased edges differ).
inline std::function<bool (juce::Colour)> near (juce::Colour wanted, int tolerance = 8)
{
    return [=] (juce::Colour c) {
        return std::abs (c.getRed() - wanted.getRed()) <= tolerance
               && std::abs (c.getGreen() - wanted.getGreen()) <= tolerance
               && std::abs (c.getBlue() - wanted.getBlue()) <= tolerance
               && std::abs (c.getAlpha() - wanted.getAlpha()) <= tolerance;
    };
}

// The same pixels in an area of two images.
inline bool sameArea (const juce::Image& a, const juce::Image& b, juce::Rectangle<int> area)
{
    for (int y = area.getY(); y < area.getBottom(); ++y)
        for (int x = area.getX(); x < area.getRight(); ++x)
            if (a.getPixelAt (x, y) != b.getPixelAt (x, y))
                return false;
    return true;
}

inline bool sameImage (const juce::Image& a, const juce::Image& b)
{
    return a.getBounds() == b.getBounds() && sameArea (a, b, a.getBounds());
}

// A descendant found by its component name and type; a test that looks for
// one that is not there fails with its name.
template <typename T>
T* findChildNamed (juce::Component& parent, const juce::String& name)
{
    for (auto* c : parent.getChildren())
        if (auto* wanted = dynamic_cast<T*> (c); wanted != nullptr && c->getName() == name)
            return wanted;
    for (auto* c : parent.getChildren())
        if (auto* found = findChildNamed<T> (*c, name))
            return found;
    return nullptr;
}

template <typename T>
T& childNamed (juce::Component& parent, const juce::String& name)
{
    if (auto* found = findChildNamed<T> (parent, name))
        return *found;
    throw std::runtime_error (("no child named " + name).toStdString());
}

// A black area with one child where given: what lies behind a widget or a
// page in the editor, whose black shows through everything not painted.
struct Backdrop : juce::Component
{
    Backdrop (juce::Component& child, juce::Rectangle<int> childBounds)
    {
        addAndMakeVisible (child);
        child.setBounds (childBounds);
        setSize (childBounds.getRight(), childBounds.getBottom());
    }
    void paint (juce::Graphics& g) override { g.fillAll (juce::Colours::black); }
};

// A page built for a processor, over the editor's black at the origin, as the
// main window shows it.
template <typename Panel>
struct PageOnBlack : juce::Component
{
    template <typename... Args>
    explicit PageOnBlack (Args&&... args) : panel (std::forward<Args> (args)...)
    {
        addAndMakeVisible (panel);
        panel.setTopLeftPosition (0, 0);
        setSize (panel.getWidth(), panel.getHeight());
    }
    void paint (juce::Graphics& g) override { g.fillAll (juce::Colours::black); }

    Panel panel;
};

// A component put on the (headless) desktop so that mouse events reach it
// through its peer as a user's clicks do, listeners and all.
class Mouse
{
public:
    explicit Mouse (juce::Component& c) : component (c)
    {
        component.addToDesktop (0);
        component.setVisible (true);
    }

    ~Mouse()
    {
        if (component.isOnDesktop())
            component.removeFromDesktop();
    }

    juce::ComponentPeer& peer() const { return *component.getPeer(); }

    void move (juce::Point<float> p) { send (p, {}); }

    // A press and release at one point, far enough in time from the last
    // click that it is never taken for a double click.
    void click (juce::Point<float> p)
    {
        time += 1000;
        send (p, {});
        send (p, juce::ModifierKeys::leftButtonModifier);
        time += 20;
        send (p, {});
    }

    void press (juce::Point<float> p)
    {
        time += 1000;
        send (p, {});
        send (p, juce::ModifierKeys::leftButtonModifier);
    }

    void dragTo (juce::Point<float> p)
    {
        time += 20;
        send (p, juce::ModifierKeys::leftButtonModifier);
    }

    void release (juce::Point<float> p)
    {
        time += 20;
        send (p, {});
    }

private:
    void send (juce::Point<float> p, juce::ModifierKeys mods)
    {
        peer().handleMouseEvent (juce::MouseInputSource::InputSourceType::mouse, p, mods,
                                 juce::MouseInputSource::defaultPressure, juce::MouseInputSource::defaultOrientation,
                                 time);
    }

    juce::Component& component;
    juce::int64 time = juce::Time::currentTimeMillis();
};

// What the host hears of parameter changes: JUCE's VST2 client is a listener
// of the processor and turns each change it is told of into an automation
// message. Counts per parameter index.
class HostChanges : public juce::AudioProcessorListener
{
public:
    explicit HostChanges (juce::AudioProcessor& p) : processor (p) { processor.addListener (this); }
    ~HostChanges() override { processor.removeListener (this); }

    void audioProcessorParameterChanged (juce::AudioProcessor*, int index, float value) override
    {
        changes.push_back ({ index, value });
    }
    void audioProcessorChanged (juce::AudioProcessor*, const ChangeDetails&) override {}

    int count() const { return (int) changes.size(); }
    int count (int index) const
    {
        return (int) std::count_if (changes.begin(), changes.end(),
                                    [index] (const auto& c) { return c.first == index; });
    }
    void clear() { changes.clear(); }

    std::vector<std::pair<int, float>> changes; // index, normalised value, in order

private:
    juce::AudioProcessor& processor;
};

// The shared look and feel installed as the default for the length of a test,
// as a living processor installs it.
struct InstalledLookAndFeel
{
    std::shared_ptr<kalto_lookandfeel> lookAndFeel = kalto_lookandfeel::acquireShared();
};

} // namespace kalto::test
