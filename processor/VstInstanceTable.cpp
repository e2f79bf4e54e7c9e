#include "processor/VstInstanceTable.h"

#include <cstddef>
#include <cstdint>

// Entries are searched from a place given by the address, so most searches
// end at their first step.
int VstInstanceTable::firstIndex (const AEffect* effect)
{
    return (int) ((reinterpret_cast<std::uintptr_t> (effect) >> 4) % (std::uintptr_t) capacity);
}

VstInstanceTable::Instance* VstInstanceTable::add (AEffect* effect, audioMasterCallback host)
{
    const auto first = firstIndex (effect);
    for (int step = 0; step < capacity; ++step)
    {
        auto& entry = entries[(std::size_t) ((first + step) % capacity)];
        bool expected = false;
        if (! entry.taken.compare_exchange_strong (expected, true))
            continue;

        entry.host = host;
        entry.closing = false;
        entry.blockSize = 0;
        entry.announcedBlockSize = 0;
        entry.power = Power::notYetOn;
        entry.editorOpen = false;
        entry.inputs = effect->numInputs;
        entry.outputs = effect->numOutputs;
        entry.silencedOutputs = effect->numOutputs;
        entry.eventOffset = 0;
        // Published last: a search finds only a complete entry.
        entry.effect.store (effect, std::memory_order_release);
        return &entry;
    }
    return nullptr;
}

VstInstanceTable::Instance* VstInstanceTable::find (const AEffect* effect)
{
    if (effect == nullptr)
        return nullptr;

    const auto first = firstIndex (effect);
    for (int step = 0; step < capacity; ++step)
    {
        auto& entry = entries[(std::size_t) ((first + step) % capacity)];
        if (entry.effect.load (std::memory_order_acquire) == effect)
            return &entry;
    }
    return nullptr;
}

void VstInstanceTable::remove (Instance& instance)
{
    instance.effect.store (nullptr, std::memory_order_release);
    instance.taken.store (false, std::memory_order_release);
}
