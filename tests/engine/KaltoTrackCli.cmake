# kalto-track as a user runs it: records on a recording, clear errors otherwise.
function(expect_run expected_rc expected_text)
    execute_process(COMMAND ${TRACK} ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT rc EQUAL expected_rc)
        message(FATAL_ERROR "kalto-track ${ARGN}: exit ${rc}, expected ${expected_rc}\n${err}")
    endif()
    if(NOT "${out}${err}" MATCHES "${expected_text}")
        message(FATAL_ERROR "kalto-track ${ARGN}: no '${expected_text}' in:\n${out}${err}")
    endif()
endfunction()

file(MAKE_DIRECTORY ${WORKDIR})
file(WRITE ${WORKDIR}/text.wav "no audio here")
expect_run(3 "no such file" ${WORKDIR}/absent.wav)
expect_run(5 "cannot read audio file" ${WORKDIR}/text.wav)
expect_run(2 "usage" ${PHRASE} --block 0)
expect_run(2 "channel" ${PHRASE} --channel 2)
# A note-on (status 144) for the phrase's first note, E4 = 64.
expect_run(0 "144 64 [0-9]+" ${PHRASE} --exact)
