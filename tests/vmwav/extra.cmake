# Fixtures for the decoding and copy tests are written by libsndfile, an
# implementation independent of ours.
foreach(t vmwav_test_decode vmwav_test_copy)
  if(TARGET ${t})
    target_link_libraries(${t} PRIVATE PkgConfig::SNDFILE)
  endif()
endforeach()
