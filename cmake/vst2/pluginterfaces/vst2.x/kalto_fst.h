// VST 2.4 types for the plug-in client and the project's host, taken from
// Debian's fst headers (GPL-3+), with two adjustments of ours:
//  - unknown opcodes are not marked deprecated, since the framework uses them;
//  - VstSpeakerArrangement holds eight speakers inline. fst declares a
//    flexible array, but the framework sizes every arrangement as if eight
//    were inline and would write past a smaller allocation.
//  - VstPinProperties ends with the 48 reserved bytes that hosts allocate;
//    fst stops at shortLabel, and the framework writes a terminator one byte
//    past a full short label.
#pragma once

#ifndef FST_DONT_DEPRECATE_UNKNOWN
#define FST_DONT_DEPRECATE_UNKNOWN 1
#endif

#define VstSpeakerArrangement KaltoFstFlexibleSpeakerArrangement
#define VstPinProperties KaltoFstShortPinProperties
#include <pluginterfaces/fst/aeffectx.h>
#undef VstSpeakerArrangement
#undef VstPinProperties

struct VstPinProperties
{
    char label[64];
    int flags;
    int arrangementType;
    char shortLabel[8];
    char reserved[48];
};

struct VstSpeakerArrangement
{
    int type;
    int numChannels;
    VstSpeakerProperties speakers[8];
};

// VST 2.4's own numbers for what fst leaves without one: opcodes it gives
// placeholders of its own (from 100000 up, so a host's request for them
// would never be recognised), and pin flags it defines as 0. These are the
// numbers hosts send and read; the entry layer translates between them and
// the client's.
namespace kaltoVst24
{
// Plug-in opcodes.
constexpr int setBypass = 44;
constexpr int getTailSize = 52;
constexpr int keysRequired = 57;
constexpr int getNumMidiInputChannels = 78;
constexpr int getNumMidiOutputChannels = 79;

// Host opcodes: the plug-in's channel counts changed.
constexpr int hostIOChanged = 13;

// VstPinProperties::flags.
constexpr int pinIsActive = 1;
constexpr int pinIsStereo = 2;
constexpr int pinUseSpeaker = 4;
} // namespace kaltoVst24
