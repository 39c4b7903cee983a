# The end-to-end tests run the built program (and, for block-coded formats,
# its codec module) on fixtures that libsndfile writes.
foreach(t sndkit_test_cli sndkit_test_cli_hostile sndkit_test_silence_auto)
  target_link_libraries(${t} PRIVATE PkgConfig::SNDFILE)
  add_dependencies(${t} sndprobe)
  if(TARGET vmwav_sndfile)
    add_dependencies(${t} vmwav_sndfile)
  endif()
endforeach()

# The automatic level and the closing key on spoken greetings and names
# (espeak-ng) in the dead air of real lines, in PCM, u-law and A-law: no
# speech cut, no file left with over a second of dead air, every key gone.
# A seed the benchmark's table does not use.
add_test(NAME trim_quality_speech
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/bench/compare_tools/quality.py
    --sndprobe $<TARGET_FILE:sndprobe> --work ${CMAKE_CURRENT_BINARY_DIR}/trim_quality
    --count 33 --seed 7 --tools auto --check)

# The whole run of one file under the fuzzer (clang's libFuzzer): every unit
# of libsndprobe is built again with the fuzzer's instrumentation.
if(BUILD_FUZZ)
  add_executable(fuzz_sndprobe ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_sndprobe.cpp)
  foreach(_layer ${SNDPROBE_LAYERS})
    get_target_property(_units ${_layer} SOURCES)
    get_target_property(_headers ${_layer} INTERFACE_INCLUDE_DIRECTORIES)
    target_sources(fuzz_sndprobe PRIVATE ${_units})
    target_include_directories(fuzz_sndprobe PRIVATE ${_headers} ${CMAKE_SOURCE_DIR}/tests)
  endforeach()
  target_compile_definitions(fuzz_sndprobe PRIVATE SNDPROBE_BUILDING)
  target_link_libraries(fuzz_sndprobe PRIVATE sndprobe_api ${CMAKE_DL_LIBS} m)
  target_compile_options(fuzz_sndprobe PRIVATE
    -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_link_options(fuzz_sndprobe PRIVATE -fsanitize=fuzzer,address,undefined)
  # Block-coded inputs load the codec module from the program's folder.
  add_dependencies(fuzz_sndprobe vmwav_sndfile)
endif()
