# The codec module for block-coded formats: libsndfile lives only here, so
# libsndprobe starts without loading it; vmwav opens the module on demand
# from the folder it is installed in.
find_package(PkgConfig REQUIRED)
pkg_check_modules(SNDFILE REQUIRED IMPORTED_TARGET GLOBAL sndfile)

add_library(vmwav_sndfile MODULE ${CMAKE_CURRENT_SOURCE_DIR}/codec/sndfile_codec.cpp)
set_target_properties(vmwav_sndfile PROPERTIES
  PREFIX "lib" OUTPUT_NAME vmwav_sndfile
  CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
target_include_directories(vmwav_sndfile PRIVATE ${CMAKE_SOURCE_DIR})
target_link_libraries(vmwav_sndfile PRIVATE PkgConfig::SNDFILE)
# Whatever builds the library builds the module it loads; the library
# targets are made after this folder, hence the deferred calls.
cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR}
  CALL add_dependencies sndprobe_shared vmwav_sndfile)
cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR}
  CALL add_dependencies sndprobe_core vmwav_sndfile)
install(TARGETS vmwav_sndfile LIBRARY DESTINATION .)
