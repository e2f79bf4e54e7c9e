#include "processor/Parameters.h"

namespace kalto
{

namespace
{
constexpr ParameterSpec floatParam (const char* id, const char* name, float lo, float hi, float def)
{
    return { id, name, ParameterKind::Float, lo, hi, def };
}

constexpr ParameterSpec intParam (const char* id, const char* name, int lo, int hi, int def)
{
    return { id, name, ParameterKind::Int, (float) lo, (float) hi, (float) def };
}

constexpr ParameterSpec boolParam (const char* id, const char* name, bool def)
{
    return { id, name, ParameterKind::Bool, 0.0f, 1.0f, def ? 1.0f : 0.0f };
}
} // namespace

const std::array<ParameterSpec, numParameters> parameterTable { {
    floatParam ("confidence", "confidence", 0.01f, 5.0f, 0.78f),
    floatParam ("gain", "gain", 0.01f, 0.99f, 0.23f),
    boolParam ("bends", "bends", false),
    boolParam ("legato", "legato", false),
    boolParam ("convFilter", "convFilter", true),
    boolParam ("channel1", "Channel2", true),
    boolParam ("channel2", "Channel2", false),
    boolParam ("guitar", "Guitar", true),
    boolParam ("bass", "Bass", false),
    boolParam ("wet", "Wet", false),
    boolParam ("on", "On", false),
    intParam (gainIntIdentifier, "Gain", 0, 100, 25),
    intParam ("filter", "Filter", 0, 100, 50),
    intParam ("comp", "Comp", 0, 100, 0),
    intParam ("key", "Key", 0, 100, 2),
    intParam ("mode", "Mode", 0, 100, 1),
    intParam ("port", "Port", 0, 100, 1),
    floatParam ("pitchBendRange", "PitchBendRange", 0.0f, 2.0f, 2.0f),
    intParam ("velocityLimit", "VelocityLimit", 0, 127, 127),
    intParam ("transpose", "Transpose", -36, 36, 0),
    intParam ("synthSound", "SynthSound", 0, 6, 2),
    intParam ("chord", "Chord", -36, 36, 0),
    intParam ("chord", "Chord", -36, 36, 0),
    intParam ("chord", "Chord", -36, 36, 0),
    intParam ("chord", "Chord", -36, 36, 0),
    intParam ("chord", "Chord", -36, 36, 0),
} };

std::string parameterIdentifier (int index)
{
    const auto& row = parameterTable[(size_t) index];
    return index >= chord0Index ? row.identifier + std::to_string (index - chord0Index) : row.identifier;
}

std::string parameterName (int index)
{
    const auto& row = parameterTable[(size_t) index];
    return index >= chord0Index ? row.name + std::to_string (index - chord0Index) : row.name;
}

} // namespace kalto
