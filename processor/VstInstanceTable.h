// What the entry layer keeps for each plug-in instance, found by its AEffect.
//
// The client's callbacks are one set of functions shared by every instance,
// and the AEffect fields the client leaves free may be written by the host,
// so the state lives here, in a fixed table filled when an instance is made:
// finding an entry neither allocates nor locks, from any thread. The entries
// are never freed, so a call holding one may read it whatever happens to the
// instance meanwhile.

#pragma once

#include <pluginterfaces/vst2.x/aeffectx.h>

#include <array>
#include <atomic>

class VstInstanceTable
{
public:
    enum class Power
    {
        notYetOn, // the client starts processing by itself at the first process call
        on,
        off, // switched off by the host after it was on
    };

    struct Instance
    {
        std::atomic<bool> taken { false };
        std::atomic<AEffect*> effect { nullptr };
        std::atomic<audioMasterCallback> host { nullptr };
        // Set when the host closes the instance: from then on its calls are refused.
        std::atomic<bool> closing { false };

        // The block size the client holds: while on, the one it was prepared for.
        std::atomic<int> blockSize { 0 };
        // A size the host announced while on, passed on at the next switch-on; 0 for none.
        std::atomic<int> announcedBlockSize { 0 };
        std::atomic<Power> power { Power::notYetOn };
        std::atomic<bool> editorOpen { false };
        // The channel counts the host was told, and so the entries of the
        // channel arrays its process calls hand over; and the outputs a call
        // that is not processed silences, fewer while the counts change.
        std::atomic<int> inputs { 0 };
        std::atomic<int> outputs { 0 };
        std::atomic<int> silencedOutputs { 0 };

        // Process calls running; other calls running (dispatcher calls but
        // effClose, and parameter calls); and dispatcher calls holding new
        // process calls off.
        std::atomic<int> processCalls { 0 };
        std::atomic<int> otherCalls { 0 };
        std::atomic<int> pausingCalls { 0 };
        // Where the client's current piece starts within the host's process call.
        std::atomic<int> eventOffset { 0 };
    };

    // More instances of one plug-in than any session holds.
    static constexpr int capacity = 1024;

    // A fresh entry for the effect, or nullptr when every entry is taken.
    Instance* add (AEffect* effect, audioMasterCallback host);
    // The effect's entry, closing or not; nullptr once it has been removed.
    Instance* find (const AEffect* effect);
    // Makes the entry free for another instance. Its counters are left as
    // they are: a late call that counted itself in takes itself out again.
    void remove (Instance& instance);

private:
    static int firstIndex (const AEffect* effect);

    std::array<Instance, capacity> entries;
};
