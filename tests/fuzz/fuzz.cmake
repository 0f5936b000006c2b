# The fuzz build (preset "fuzz", clang): the receiver's sources against the Win32 stand-in, as
# on the host, with coverage for libFuzzer, and everything under AddressSanitizer and
# UndefinedBehaviorSanitizer, stopping at the first report.  Included by the top CMakeLists.txt.
set(SANITIZERS -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
add_compile_options(-Wall -Wextra -Werror -g ${SANITIZERS})
add_link_options(${SANITIZERS})

add_library(fuzzed-receiver STATIC
    receiver/frame_decoder.cpp
    receiver/serial_line.cpp
    receiver/code_table.cpp
    receiver/replay_line.cpp
    receiver/recording_format.cpp
    tests/win32/fake_win32.cpp)
target_include_directories(fuzzed-receiver PUBLIC tests/win32)
target_compile_options(fuzzed-receiver PRIVATE -fsanitize=fuzzer-no-link)

foreach(name replay_recording decoder_edges)
    add_executable(fuzz-${name} tests/fuzz/${name}_fuzz.cpp)
    target_compile_options(fuzz-${name} PRIVATE -fsanitize=fuzzer)
    target_link_options(fuzz-${name} PRIVATE -fsanitize=fuzzer)
    target_link_libraries(fuzz-${name} PRIVATE fuzzed-receiver)
endforeach()

# Fixed bad and extreme recordings, each with the answer it must get.
add_executable(bad-recordings tests/fuzz/bad_recordings.cpp)
target_link_options(bad-recordings PRIVATE -fsanitize=fuzzer-no-link)
target_link_libraries(bad-recordings PRIVATE fuzzed-receiver)
target_compile_definitions(bad-recordings PRIVATE SAMPLES_DIR="${CMAKE_SOURCE_DIR}/samples")
