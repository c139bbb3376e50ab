# The fuzzing build: everything it compiles carries AddressSanitizer, UndefinedBehavior-
# Sanitizer (any finding ends the run) and libFuzzer's coverage hooks; only the harnesses
# link the fuzzer's main.
if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  message(FATAL_ERROR "CORV_FUZZ needs clang (libFuzzer): configure with -DCMAKE_CXX_COMPILER=clang++")
endif()
add_compile_options(-fsanitize=address,undefined,fuzzer-no-link -fno-sanitize-recover=undefined
                    -fno-omit-frame-pointer)
add_link_options(-fsanitize=address,undefined)
