# Run by CPack after it packed the .deb: Depends from dpkg-shlibdeps merged
# with ours, each package once, and Built-Using, which CPack cannot write.
foreach(deb ${CPACK_PACKAGE_FILES})
  if(NOT deb MATCHES "\\.deb$")
    continue()
  endif()
  set(work ${CPACK_TOPLEVEL_DIRECTORY}/control-fields)
  file(REMOVE_RECURSE ${work})
  file(MAKE_DIRECTORY ${work}/debian)
  execute_process(COMMAND dpkg-deb -R ${deb} ${work}/tree COMMAND_ERROR_IS_FATAL ANY)

  # The dynamically linked programs and libraries; the static sndprobe has
  # no shared libraries to name.
  file(GLOB_RECURSE candidates ${work}/tree/opt/*)
  set(elves "")
  foreach(f ${candidates})
    execute_process(COMMAND readelf -d ${f} OUTPUT_VARIABLE dyn ERROR_QUIET RESULT_VARIABLE bad)
    if(NOT bad AND dyn MATCHES "\\(NEEDED\\)")
      list(APPEND elves ${f})
    endif()
  endforeach()
  file(WRITE ${work}/debian/control "Source: brevita\n\nPackage: brevita\nArchitecture: any\n")
  execute_process(COMMAND dpkg-shlibdeps -O -l${work}/tree${CPACK_PACKAGING_INSTALL_PREFIX} ${elves}
                  WORKING_DIRECTORY ${work} OUTPUT_VARIABLE shlibs COMMAND_ERROR_IS_FATAL ANY)
  string(REGEX REPLACE "^shlibs:Depends=" "" shlibs "${shlibs}")
  string(STRIP "${shlibs}" shlibs)
  string(REPLACE ", " ";" shlibs "${shlibs}")

  set(depends ${CPACK_BREVITA_DEPENDS})
  if(CPACK_BREVITA_LIBC_AT_LEAST)
    # The release linked into sndprobe is the newest the build had, so it is
    # at least what any other program needs.
    list(FILTER shlibs EXCLUDE REGEX "^libc6( |$)")
    list(APPEND depends "libc6 (>= ${CPACK_BREVITA_LIBC_AT_LEAST})")
  endif()
  list(APPEND depends ${shlibs})
  list(REMOVE_DUPLICATES depends)
  list(JOIN depends ", " depends)

  file(STRINGS ${work}/tree/DEBIAN/control lines)
  set(control "")
  foreach(line IN LISTS lines)
    if(line MATCHES "^Depends:")
      continue()
    endif()
    string(APPEND control "${line}\n")
    if(line MATCHES "^Architecture:")
      string(APPEND control "Depends: ${depends}\n")
      if(CPACK_BREVITA_BUILT_USING)
        string(APPEND control "Built-Using: ${CPACK_BREVITA_BUILT_USING}\n")
      endif()
    endif()
  endforeach()
  file(WRITE ${work}/tree/DEBIAN/control "${control}")
  execute_process(COMMAND dpkg-deb --root-owner-group -Zxz -b ${work}/tree ${deb}
                  OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE_RECURSE ${work})
endforeach()
