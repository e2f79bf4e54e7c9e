# kalto-track as a user runs it: records on a recording, clear errors otherwise.
function(expect_run expected_rc expected_text)
    # A hang is a failure too, not a stuck test run.
    execute_process(COMMAND ${TRACK} ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 60)
    if(NOT rc EQUAL expected_rc)
        message(FATAL_ERROR "kalto-track ${ARGN}: exit ${rc}, expected ${expected_rc}\n${err}")
    endif()
    if(NOT "${out}${err}" MATCHES "${expected_text}")
        message(FATAL_ERROR "kalto-track ${ARGN}: no '${expected_text}' in:\n${out}${err}")
    endif()
endfunction()

# VALUE as COUNT bytes in printf's escapes, little-endian, or big-endian when BIG.
function(number_bytes out value count big)
    set(bytes "")
    foreach(i RANGE 1 ${count})
        math(EXPR byte "${value} & 255" OUTPUT_FORMAT HEXADECIMAL)
        string(REPLACE "0x" "\\x" byte "${byte}")
        if(big)
            string(PREPEND bytes "${byte}")
        else()
            string(APPEND bytes "${byte}")
        endif()
        math(EXPR value "${value} >> 8")
    endforeach()
    set(${out} "${bytes}" PARENT_SCOPE)
endfunction()

# A file from its pieces, each a chunk's four-letter name as it stands,
# VALUE:WIDTH for a number in WIDTH little-endian bytes (VALUE:WIDTHbe in
# big-endian ones, as AIFF writes them), N*0 for N zero bytes, or N*TEXT for
# TEXT N times.
function(pieces_file path)
    set(format "")
    set(fields "")
    foreach(piece IN LISTS ARGN)
        if(piece MATCHES "^([0-9]+):([124])(be)?$")
            set(big "${CMAKE_MATCH_3}")
            number_bytes(field ${CMAKE_MATCH_1} ${CMAKE_MATCH_2} "${big}")
            set(conversion "%b")
        elseif(piece MATCHES "^([0-9]+)\\*0$")
            string(REPEAT "\\x00" ${CMAKE_MATCH_1} field)
            set(conversion "%b")
        elseif(piece MATCHES "^([0-9]+)\\*(.+)$")
            string(REPEAT "${CMAKE_MATCH_2}" ${CMAKE_MATCH_1} field)
            set(conversion "%s")
        else()
            set(field "${piece}")
            set(conversion "%s")
        endif()
        # One argument a piece, so that none grows past what one argument may
        # hold; text as it stands, numbers through their escapes.
        if(NOT field STREQUAL "")
            string(APPEND format "${conversion}")
            list(APPEND fields "${field}")
        endif()
    endforeach()
    execute_process(COMMAND printf "${format}" ${fields} OUTPUT_FILE ${path} RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "cannot write ${path}")
    endif()
endfunction()

# A 44-byte PCM WAV header, field by field, then FRAMES frames of silence;
# the header claims CLAIMED data bytes. Small fixtures for damaged files.
function(hand_made_wav path channels rate bits frames claimed)
    math(EXPR align "${channels} * (${bits} / 8)")
    math(EXPR riff "36 + ${claimed}")
    math(EXPR byte_rate "${rate} * ${align}")
    math(EXPR size "${frames} * ${align}")
    pieces_file(${path} RIFF ${riff}:4 WAVE "fmt " 16:4 1:2 ${channels}:2 ${rate}:4 ${byte_rate}:4 ${align}:2 ${bits}:2
                data ${claimed}:4 ${size}*0)
endfunction()

file(MAKE_DIRECTORY ${WORKDIR})
file(WRITE ${WORKDIR}/text.wav "no audio here")
expect_run(3 "no such file" ${WORKDIR}/absent.wav)
expect_run(5 "cannot read audio file" ${WORKDIR}/text.wav)
# Only a regular file is read: a FIFO would hold the reader until something wrote into it.
file(REMOVE_RECURSE ${WORKDIR}/folder.wav ${WORKDIR}/fifo.wav)
file(MAKE_DIRECTORY ${WORKDIR}/folder.wav)
execute_process(COMMAND mkfifo ${WORKDIR}/fifo.wav RESULT_VARIABLE made)
if(NOT made EQUAL 0)
    message(FATAL_ERROR "mkfifo ${WORKDIR}/fifo.wav failed")
endif()
expect_run(5 "folder.wav: it is a directory" ${WORKDIR}/folder.wav)
expect_run(5 "fifo.wav: it is not a regular file" ${WORKDIR}/fifo.wav)
expect_run(2 "usage" ${PHRASE} --block 0)
expect_run(2 "channel" ${PHRASE} --channel 2)
# A note-on (status 144) for the phrase's first note, E4 = 64.
expect_run(0 "144 64 [0-9]+" ${PHRASE} --exact)

# Damaged files: what their header claims is checked against what they hold.
#             name           channels rate       bits frames claimed
hand_made_wav(${WORKDIR}/ok.wav       1 44100      16   64     128)
hand_made_wav(${WORKDIR}/c65535.wav   65535 44100  16   0      0)
hand_made_wav(${WORKDIR}/c3000.wav    3000 44100   16   2      12000)
hand_made_wav(${WORKDIR}/r2e9.wav     1 2000000000 16   64     128)
hand_made_wav(${WORKDIR}/b12.wav      1 44100      12   64     64)
hand_made_wav(${WORKDIR}/empty.wav    1 44100      16   0      8000000)
hand_made_wav(${WORKDIR}/cut.wav      1 44100      16   64     8000000)
expect_run(0 "^$" ${WORKDIR}/ok.wav)
expect_run(5 "65535 channels" ${WORKDIR}/c65535.wav)
expect_run(5 "3000 channels" ${WORKDIR}/c3000.wav)
expect_run(5 "2000000000 Hz" ${WORKDIR}/r2e9.wav)
expect_run(5 "12-bit" ${WORKDIR}/b12.wav)
expect_run(5 "holds none" ${WORKDIR}/empty.wav)
# A recorder that died before writing the final size: what is there is read, with a warning.
expect_run(0 "warning: .*claims 4000000 frames but the file holds only 64" ${WORKDIR}/cut.wav)

# Chunks laid out so that the reader would find no frames: each refused with
# what is wrong. Mono 16-bit at 44,100 Hz, 64 frames of silence.
set(fmt "fmt " 16:4 1:2 1:2 44100:4 88200:4 2:2 16:2)
set(data data 128:4 128*0)
pieces_file(${WORKDIR}/junk-past-end.wav RIFF 172:4 WAVE ${fmt} JUNK 1000000:4 ${data})
pieces_file(${WORKDIR}/junk-empty.wav    RIFF 172:4 WAVE ${fmt} JUNK 0:4 ${data})
pieces_file(${WORKDIR}/riff-short.wav    RIFF 28:4 WAVE ${fmt} ${data})
pieces_file(${WORKDIR}/no-data.wav       RIFF 28:4 WAVE ${fmt})
pieces_file(${WORKDIR}/data-first.wav    RIFF 164:4 WAVE ${data} ${fmt})
pieces_file(${WORKDIR}/fmt-enormous.wav  RIFF 164:4 WAVE "fmt " 4294967280:4 1:2 1:2 44100:4 88200:4 2:2 16:2 ${data})
pieces_file(${WORKDIR}/fmt-short.wav     RIFF 164:4 WAVE "fmt " 8:4 1:2 1:2 44100:4 88200:4 2:2 16:2 ${data})
# A chunk of odd size, padded to an even one as RIFF pads it, is no damage,
# nor is an empty chunk of a kind no reader knows.
pieces_file(${WORKDIR}/junk-odd.wav      RIFF 176:4 WAVE ${fmt} JUNK 3:4 4*0 ${data})
expect_run(5 "\"JUNK\" chunk claims 1000000 bytes" ${WORKDIR}/junk-past-end.wav)
expect_run(5 "RIFF size of 28 bytes ends before its data chunk" ${WORKDIR}/riff-short.wav)
expect_run(5 "no data chunk" ${WORKDIR}/no-data.wav)
expect_run(5 "data chunk comes before any fmt chunk" ${WORKDIR}/data-first.wav)
expect_run(5 "\"fmt \" chunk claims 4294967280 bytes" ${WORKDIR}/fmt-enormous.wav)
expect_run(5 "fmt chunk of 8 bytes" ${WORKDIR}/fmt-short.wav)
expect_run(0 "^$" ${WORKDIR}/junk-odd.wav)
expect_run(0 "^$" ${WORKDIR}/junk-empty.wav)

# Metadata the tracker does not need is never parsed: here an iXML chunk
# nested 40,000 elements deep, before the data and after it, among bext, LIST
# and cue chunks. Parsed, it would take more than the whole stack.
set(nested iXML 120000:4 20000*<a> 20000*<a>)
math(EXPR riff "4 + 24 + (8 + 602) + (8 + 18) + (8 + 28) + (8 + 120000) * 2 + (8 + 128)")
pieces_file(${WORKDIR}/metadata.wav RIFF ${riff}:4 WAVE ${fmt} bext 602:4 602*0 LIST 18:4 INFO IART 6:4 kalto 1*0
            "cue " 28:4 28*0 ${nested} ${data} ${nested})
expect_run(0 "^$" ${WORKDIR}/metadata.wav)

# AIFF's frame count is unsigned: one of 2^31 or more reads what the file
# holds, 64 frames here, with the warning of a header that claims more.
set(rate 16398:2be 2890137600:4be 0:4) # 44,100 Hz as an 80-bit float
set(ssnd SSND 136:4be 0:4 0:4 128*0)
pieces_file(${WORKDIR}/count-64.aiff       FORM 174:4be AIFF COMM 18:4be 1:2be 64:4be 16:2be ${rate} ${ssnd})
pieces_file(${WORKDIR}/count-2e31.aiff     FORM 174:4be AIFF COMM 18:4be 1:2be 2147483648:4be 16:2be ${rate} ${ssnd})
pieces_file(${WORKDIR}/count-aifc.aiff     FORM 180:4be AIFC COMM 24:4be 1:2be 2147483648:4be 16:2be ${rate} sowt 2*0
            ${ssnd})
# Stereo 24-bit: the count's bytes overflow 32 bits.
pieces_file(${WORKDIR}/count-2e32-1.aiff   FORM 430:4be AIFF COMM 18:4be 2:2be 4294967295:4be 24:2be ${rate}
            SSND 392:4be 0:4 0:4 384*0)
pieces_file(${WORKDIR}/no-ssnd.aiff        FORM 30:4be AIFF COMM 18:4be 1:2be 64:4be 16:2be ${rate})
expect_run(0 "^$" ${WORKDIR}/count-64.aiff)
expect_run(0 "warning: .*claims 2147483648 frames but the file holds only 64" ${WORKDIR}/count-2e31.aiff)
expect_run(0 "warning: .*claims 2147483648 frames but the file holds only 64" ${WORKDIR}/count-aifc.aiff)
expect_run(0 "warning: .*claims 4294967295 frames but the file holds only 64" ${WORKDIR}/count-2e32-1.aiff)
# Without an SSND chunk the framework's reader reads from the file's first byte.
expect_run(5 "no SSND chunk" ${WORKDIR}/no-ssnd.aiff)

# Options out of range, each named with what it takes.
expect_run(2 "--block 2000000000: .*1 to 65536" ${PHRASE} --block 2000000000)
expect_run(2 "--block 512x: .*1 to 65536" ${PHRASE} --block 512x)
expect_run(2 "--gain nan: .*0.01 to 0.99" ${PHRASE} --gain nan)
expect_run(2 "--gain -1: .*0.01 to 0.99" ${PHRASE} --gain -1)
expect_run(2 "--gain 0: .*0.01 to 0.99" ${PHRASE} --gain 0)
expect_run(2 "--confidence inf: .*0.01 to 5" ${PHRASE} --confidence inf)
expect_run(2 "--confidence 1e9: .*0.01 to 5" ${PHRASE} --confidence 1e9)
expect_run(2 "--confidence high: .*0.01 to 5" ${PHRASE} --confidence high)
expect_run(2 "--channel 1.5: .*whole number" ${PHRASE} --channel 1.5)
expect_run(2 "--channel -3: .*whole number" ${PHRASE} --channel -3)
