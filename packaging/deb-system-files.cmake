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
file(COPY_FILE ${CPACK_BREVITA_SOURCE_DIR}/packaging/org.brevita.Brevita.desktop
     ${root}/usr/share/applications/org.brevita.Brevita.desktop)
file(COPY_FILE ${CPACK_BREVITA_SOURCE_DIR}/packaging/brevita.svg
     ${root}/usr/share/icons/hicolor/scalable/apps/brevita.svg)
file(COPY_FILE ${CPACK_BREVITA_SOURCE_DIR}/packaging/copyright ${root}/usr/share/doc/brevita/copyright)

# The installed program keeps its state and logs where Debian puts a
# package's variable data; postinst makes those folders.
file(REMOVE_RECURSE ${root}${app}/logs)
file(COPY_FILE ${CPACK_BREVITA_SOURCE_DIR}/packaging/Brevita.paths ${root}${app}/Brevita.paths)
file(MAKE_DIRECTORY ${root}/etc/brevita ${root}/usr/lib/systemd/system ${root}/usr/share/metainfo)
file(COPY_FILE ${CPACK_BREVITA_SOURCE_DIR}/packaging/registry.reg ${root}/etc/brevita/registry.reg)
foreach(unit brevita.service brevita.timer)
  file(COPY_FILE ${CPACK_BREVITA_SOURCE_DIR}/packaging/${unit} ${root}/usr/lib/systemd/system/${unit})
endforeach()
file(COPY_FILE ${CPACK_BREVITA_SOURCE_DIR}/packaging/org.brevita.Brevita.metainfo.xml
     ${root}/usr/share/metainfo/org.brevita.Brevita.metainfo.xml)
execute_process(COMMAND gzip -9nc ${CPACK_BREVITA_SOURCE_DIR}/packaging/changelog
                OUTPUT_FILE ${root}/usr/share/doc/brevita/changelog.gz)
file(MAKE_DIRECTORY ${root}/usr/share/lintian/overrides)
file(COPY_FILE ${CPACK_BREVITA_SOURCE_DIR}/packaging/lintian-overrides
     ${root}/usr/share/lintian/overrides/brevita)
