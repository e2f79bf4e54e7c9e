// The plug-in's exported entry points, in front of the framework's VST2 client.
//
// The client was compiled against fst, which does not know the numbers of a
// few opcodes and gives them placeholder values instead, so a host's request
// for them would never be recognised. This layer translates the host's
// numbers into the client's before passing each call on, and fills in the
// pin labels the client leaves in its own format.

#include <pluginterfaces/vst2.x/aeffectx.h>

#include <atomic>
#include <cstdio>
#include <string>

extern "C" AEffect* kaltoJuceVstPluginMain (audioMasterCallback);

namespace
{
// Host opcode numbers of VST 2.4.
constexpr int32_t hostSetBypass = 0x2C;
constexpr int32_t hostGetTailSize = 0x34;

std::atomic<AEffectDispatcherProc> clientDispatcher { nullptr };

int32_t toClientOpcode (int32_t opcode)
{
    switch (opcode)
    {
        case hostSetBypass:   return effSetBypass;
        case hostGetTailSize: return effGetTailSize;
        default:              return opcode;
    }
}

VstIntPtr VSTCALLBACK translatingDispatcher (AEffect* effect, int32_t opcode, int32_t index,
                                             VstIntPtr value, void* ptr, float opt)
{
    const auto dispatch = clientDispatcher.load();
    const auto result = dispatch (effect, toClientOpcode (opcode), index, value, ptr, opt);

    // Channels are named by their number, counting from 1.
    if ((opcode == effGetInputProperties || opcode == effGetOutputProperties) && result != 0 && ptr != nullptr)
    {
        auto* pin = static_cast<VstPinProperties*> (ptr);
        const auto name = std::to_string (index + 1);
        std::snprintf (pin->label, sizeof (pin->label), "%s", name.c_str());
        std::snprintf (pin->shortLabel, sizeof (pin->shortLabel), "%s", name.c_str());
    }

    return result;
}
} // namespace

extern "C" __attribute__ ((visibility ("default"))) AEffect* VSTPluginMain (audioMasterCallback host)
{
    AEffect* effect = kaltoJuceVstPluginMain (host);

    if (effect != nullptr)
    {
        // The client's dispatcher is one function shared by every instance.
        clientDispatcher.store (effect->dispatcher);
        effect->dispatcher = translatingDispatcher;
    }

    return effect;
}

extern "C" __attribute__ ((visibility ("default"))) AEffect* main_macho (audioMasterCallback host)
{
    return VSTPluginMain (host);
}
