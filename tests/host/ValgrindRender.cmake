# Renders a stereo tone through the plug-in in kalto-host under valgrind;
# any invalid read or write fails the test.
file(MAKE_DIRECTORY ${WORKDIR})
# The home the test gives the plug-in must exist: a missing one would send
# the presets to the user's real home.
file(MAKE_DIRECTORY ${WORKDIR}/home)
execute_process(COMMAND sox -n -r 44100 -c 2 -b 16 ${WORKDIR}/in.wav synth 0.5 sine 220 gain -6
    RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "sox could not make the input")
endif()
execute_process(
    COMMAND ${VALGRIND} -q --error-exitcode=99 ${HOST} render ${PLUGIN} ${WORKDIR}/in.wav
            --out ${WORKDIR}/out.wav --midi ${WORKDIR}/out.mid --channels 2 --block 256
    RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "kalto-host under valgrind exited ${rc}:\n${err}")
endif()
