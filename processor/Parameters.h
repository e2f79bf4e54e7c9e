#pragma once

#include <array>
#include <string>

namespace kalto
{

enum class ParameterKind
{
    Float,
    Int,
    Bool
};

// One row of the host-visible parameter table. Bool parameters use only
// `defaultValue` (0 or 1); Float and Int use the range as well.
struct ParameterSpec
{
    const char* identifier;
    const char* name;
    ParameterKind kind;
    float minimum;
    float maximum;
    float defaultValue;
};

// Index of each parameter as the host sees it; the order of creation.
enum ParameterIndex : int
{
    confidenceIndex = 0,
    gainIndex,
    bendsIndex,
    legatoIndex,
    convFilterIndex,
    channel1Index,
    channel2Index,
    guitarIndex,
    bassIndex,
    wetIndex,
    onIndex,
    gainIntIndex,
    filterIndex,
    compIndex,
    keyIndex,
    modeIndex,
    portIndex,
    pitchBendRangeIndex,
    velocityLimitIndex,
    transposeIndex,
    synthSoundIndex,
    chord0Index,
    numParameters = chord0Index + 5
};

inline constexpr int numChordParameters = 5;

// The integer "Gain" at index 11 once shared the float gain's identifier
// "gain", so presets gave both one value. It has its own now; preset loading
// still reads files written before (see KaltoAudioProcessor::loadPreset).
inline constexpr const char* gainIntIdentifier = "gainInt";

// The table in index order. The chord rows hold "chord"/"Chord"; their digit
// is appended when the parameters are created.
extern const std::array<ParameterSpec, numParameters> parameterTable;

// The identifier and display name of the parameter at an index, with the
// chord rows' digit.
std::string parameterIdentifier (int index);
std::string parameterName (int index);

} // namespace kalto
