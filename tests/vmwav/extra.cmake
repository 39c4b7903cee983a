# Fixtures for the decoding and copy tests are written by libsndfile, an
# implementation independent of ours.
foreach(t vmwav_test_decode vmwav_test_copy)
  if(TARGET ${t})
    target_link_libraries(${t} PRIVATE PkgConfig::SNDFILE)
  endif()
endforeach()

# A driver for the -acm tests, beside the test programs so that its bare
# name is found in the program's folder.
add_library(vmwav_testdriver MODULE ${CMAKE_CURRENT_SOURCE_DIR}/driver/testdriver.cpp)
set_target_properties(vmwav_testdriver PROPERTIES PREFIX "lib" CXX_VISIBILITY_PRESET hidden)
if(TARGET vmwav_test_acm)
  add_dependencies(vmwav_test_acm vmwav_testdriver sndprobe_shared)
endif()

# The parser's fuzzer (clang's libFuzzer). It builds the parsing and decoding
# units itself, so that they carry the fuzzer's coverage instrumentation.
if(BUILD_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "BUILD_FUZZ needs clang (CXX=clang++)")
  endif()
  add_executable(fuzz_wavparse
    ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_wavparse.cpp
    ${CMAKE_SOURCE_DIR}/vmwav/riff.cpp
    ${CMAKE_SOURCE_DIR}/vmwav/wavfmt.cpp
    ${CMAKE_SOURCE_DIR}/vmwav/decode_pcm.cpp
    ${CMAKE_SOURCE_DIR}/vmwav/decode_g711.cpp)
  target_include_directories(fuzz_wavparse PRIVATE
    ${CMAKE_SOURCE_DIR}/include ${CMAKE_SOURCE_DIR}/VmLib/include ${CMAKE_SOURCE_DIR}/vmwav/include)
  target_compile_options(fuzz_wavparse PRIVATE
    -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_link_options(fuzz_wavparse PRIVATE -fsanitize=fuzzer,address,undefined)
endif()
if(TARGET vmwav_test_badinput)
  target_compile_definitions(vmwav_test_badinput PRIVATE
    VMWAV_CORPUS_DIR="${CMAKE_CURRENT_SOURCE_DIR}/corpus")
endif()
