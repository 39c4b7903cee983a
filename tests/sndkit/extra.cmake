# The end-to-end tests run the built program (and, for block-coded formats,
# its codec module) on fixtures that libsndfile writes.
foreach(t sndkit_test_cli sndkit_test_cli_errors sndkit_test_cli_flags)
  if(TARGET ${t})
    target_link_libraries(${t} PRIVATE PkgConfig::SNDFILE)
    add_dependencies(${t} sndprobe)
    if(TARGET vmwav_sndfile)
      add_dependencies(${t} vmwav_sndfile)
    endif()
  endif()
endforeach()
if(TARGET sndkit_test_exports_all)
  add_dependencies(sndkit_test_exports_all sndprobe_shared)
endif()
