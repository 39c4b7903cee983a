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
