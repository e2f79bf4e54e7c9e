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
