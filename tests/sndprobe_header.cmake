# Checks include/sndprobe.h, run by CTest as
#   cmake -DCHECK=alone|exports -DHEADER=... -DCC=... -DCXX=... -DNM=... -DLIBRARY=... -DWORK=...
#         -P sndprobe_header.cmake
# alone:   the header compiles by itself, as C and as C++, with nothing of
#          ours on the include path.
# exports: the functions it declares, as the C compiler lists them, are
#          exactly the names that libsndprobe.so exports.

function(compile_alone language compiler)
  execute_process(COMMAND ${compiler} ${ARGN} -pedantic-errors -Wall -Wextra -Werror
                          -fsyntax-only -x ${language} ${HEADER}
                  RESULT_VARIABLE failed ERROR_VARIABLE errors)
  if(failed)
    message(FATAL_ERROR "sndprobe.h does not compile alone as ${language}:\n${errors}")
  endif()
endfunction()

if(CHECK STREQUAL "alone")
  compile_alone(c ${CC} -std=c99)
  compile_alone(c++ ${CXX} -std=c++20)
  return()
endif()

# gcc's -aux-info writes a prototype line for every function declared,
# headed by the file and line that declare it.
file(MAKE_DIRECTORY ${WORK})
compile_alone(c ${CC} -std=c99 -aux-info ${WORK}/sndprobe.aux)
file(STRINGS ${WORK}/sndprobe.aux prototypes REGEX "^/\\* ${HEADER}:")
set(declared "")
foreach(line ${prototypes})
  string(REGEX MATCH "([A-Za-z_][A-Za-z0-9_]*) \\(" name "${line}")
  list(APPEND declared ${CMAKE_MATCH_1})
endforeach()

execute_process(COMMAND ${NM} -D --defined-only ${LIBRARY}
                OUTPUT_VARIABLE symbols RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "${NM} cannot read ${LIBRARY}")
endif()
string(REGEX MATCHALL "[^ \n]+\n" names "${symbols}")
list(TRANSFORM names STRIP)

set(undeclared ${names})
list(REMOVE_ITEM undeclared ${declared})
set(missing ${declared})
list(REMOVE_ITEM missing ${names})
list(LENGTH declared count)
if(count EQUAL 0 OR undeclared OR missing)
  message(FATAL_ERROR "sndprobe.h declares ${count} functions.\n"
                      "Exported but not declared: ${undeclared}\n"
                      "Declared but not exported: ${missing}")
endif()
message(STATUS "${count} functions, declared and exported alike")
