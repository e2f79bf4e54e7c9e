# KALTO_SANITIZE: empty, "address,undefined" or "thread". Applied to every
# target; the JUCE library replaces its own options and stays uninstrumented.
set(KALTO_SANITIZE "" CACHE STRING "Sanitizers to build with (address,undefined or thread)")

if(KALTO_SANITIZE)
    set(_flags -fsanitize=${KALTO_SANITIZE} -fno-omit-frame-pointer -g)
    if(KALTO_SANITIZE MATCHES "undefined")
        list(APPEND _flags -fno-sanitize-recover=undefined)
    endif()
    add_compile_options(${_flags})
    add_link_options(-fsanitize=${KALTO_SANITIZE})
endif()
