# External packages the build needs, all from Debian (scripts/setup installs them).

find_package(PkgConfig REQUIRED)

# Debian's JUCE ships without the bundled codecs; the system ones replace them.
pkg_check_modules(KALTO_CODECS REQUIRED IMPORTED_TARGET
    vorbis vorbisenc vorbisfile ogg flac zlib libpng libjpeg)

find_package(JUCE 7.0.5 CONFIG REQUIRED)

# juce_core stamps __DATE__ into the build, which ccache otherwise treats as a
# reason never to reuse a result.
find_program(KALTO_CCACHE ccache)
if(KALTO_CCACHE AND NOT CMAKE_CXX_COMPILER_LAUNCHER)
    set(_launcher ${CMAKE_COMMAND} -E env CCACHE_SLOPPINESS=time_macros ${KALTO_CCACHE})
    set(CMAKE_C_COMPILER_LAUNCHER ${_launcher})
    set(CMAKE_CXX_COMPILER_LAUNCHER ${_launcher})
endif()
