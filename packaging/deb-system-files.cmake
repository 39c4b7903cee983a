# Run by CPack before it packs the .deb: what Debian expects outside the
# program folder. The folder itself stays as `cmake --install` lays it out.
set(root ${CPACK_TEMPORARY_INSTALL_DIRECTORY})
set(app ${CPACK_PACKAGING_INSTALL_PREFIX})

file(MAKE_DIRECTORY ${root}/usr/bin ${root}/usr/share/man/man1 ${root}/usr/share/applications
     ${root}/usr/share/icons/hicolor/scalable/apps ${root}/usr/share/doc/brevita)
foreach(program sndprobe Brevita)
  file(CREATE_LINK ${app}/${program} ${root}/usr/bin/${program} SYMBOLIC)
  # Debian's man pages are compressed, reproducibly (no name, no time).
  execute_process(COMMAND gzip -9nc ${CPACK_BREVITA_SOURCE_DIR}/docs/man/${program}.1
                  OUTPUT_FILE ${root}/usr/share/man/man1/${program}.1.gz
                  RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "cannot compress the ${program} man page")
  endif()
endforeach()
file(COPY_FILE ${CPACK_BREVITA_SOURCE_DIR}/packaging/brevita.desktop
     ${root}/usr/share/applications/brevita.desktop)
file(COPY_FILE ${CPACK_BREVITA_SOURCE_DIR}/packaging/brevita.svg
     ${root}/usr/share/icons/hicolor/scalable/apps/brevita.svg)
file(COPY_FILE ${CPACK_BREVITA_SOURCE_DIR}/packaging/copyright ${root}/usr/share/doc/brevita/copyright)
