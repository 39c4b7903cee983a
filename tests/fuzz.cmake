# libFuzzer targets (clang only; .ci/fuzz runs them): the registry store,
# sndprobe's argument lookups and level conversions, and the strip
# arithmetic. Each compiles the units it fuzzes itself, so that they carry
# the coverage instrumentation; the rest comes from the static libraries.
find_package(Qt6 REQUIRED COMPONENTS Core)
set(_fuzz_dir ${CMAKE_CURRENT_SOURCE_DIR})

add_executable(fuzz_args ${_fuzz_dir}/fuzz_args.cpp
  ${CMAKE_SOURCE_DIR}/sndkit/args.cpp
  ${CMAKE_SOURCE_DIR}/sndkit/strex.cpp
  ${CMAKE_SOURCE_DIR}/sndkit/levels.cpp)
target_link_libraries(fuzz_args PRIVATE sndprobe_core)

add_executable(fuzz_strip ${_fuzz_dir}/fuzz_strip.cpp
  ${CMAKE_SOURCE_DIR}/sndkit/strip.cpp
  ${CMAKE_SOURCE_DIR}/sndkit/eventlist.cpp
  ${CMAKE_SOURCE_DIR}/sndkit/wavtime.cpp)
target_link_libraries(fuzz_strip PRIVATE sndprobe_core)

# The registry store is in Brevita's lowest layer, which needs only Qt Core.
file(GLOB _brevita_base CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/brevita/base/*.cpp)
add_executable(fuzz_registry ${_fuzz_dir}/fuzz_registry.cpp ${_brevita_base})
target_include_directories(fuzz_registry PRIVATE ${CMAKE_SOURCE_DIR}/brevita/base)
target_link_libraries(fuzz_registry PRIVATE Qt6::Core)

foreach(t fuzz_args fuzz_strip fuzz_registry)
  target_include_directories(${t} PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/tests)
  # clang counts changes of sign under -Wconversion where gcc, which builds
  # these units everywhere else, does not.
  target_compile_options(${t} PRIVATE -Wno-sign-conversion
    -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_link_options(${t} PRIVATE -fsanitize=fuzzer,address,undefined)
endforeach()
