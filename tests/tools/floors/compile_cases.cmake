# A platform-neutral library compiles with no platform include path, and a
# file of it that includes a platform header does not compile:
#   cmake -DCXX=<compiler> -DTARGET=<library> -DINCLUDES=<dir|dir...> -DOWN=<dir|...>
#         -DHEADERS=<header|...> -DALLOWED=<header|...> -DROOT=<source tree>
#         -DNEUTRAL=<the target's folder of stopping headers> -DWORK=<dir> -P compile_cases.cmake
# INCLUDES are the library's include directories as it compiles, OWN those
# of the system libraries it links itself.
cmake_minimum_required(VERSION 3.20)
string(REPLACE "|" ";" includes "${INCLUDES}")
string(REPLACE "|" ";" own "${OWN}")
string(REPLACE "|" ";" headers "${HEADERS}")
string(REPLACE "|" ";" allowed "${ALLOWED}")

set(wrong "")
set(flags "")
foreach(dir ${includes})
  if(NOT dir STREQUAL ROOT AND NOT dir STREQUAL NEUTRAL AND NOT dir IN_LIST own)
    list(APPEND wrong "${TARGET} compiles with the include path ${dir}, which a library it links passes on")
  endif()
  list(APPEND flags -I${dir})
endforeach()
if(NOT NEUTRAL IN_LIST includes)
  list(APPEND wrong "${TARGET} does not compile with ${NEUTRAL}")
endif()

file(MAKE_DIRECTORY ${WORK})
# compile(name text ok_var output_var)
function(compile name text ok out)
  file(WRITE ${WORK}/${name}.cpp "${text}\n")
  execute_process(COMMAND ${CXX} -std=c++20 -fsyntax-only ${flags} ${WORK}/${name}.cpp
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(result EQUAL 0)
    set(${ok} ON PARENT_SCOPE)
  else()
    set(${ok} OFF PARENT_SCOPE)
  endif()
  set(${out} "${output}" PARENT_SCOPE)
endfunction()

# Without this the failures below would prove nothing.
compile(control "#include \"engine/Heap.h\"\n#include <cstdint>\n#include <vector>" ok out)
if(NOT ok)
  list(APPEND wrong "a file of ${TARGET} with project and standard headers does not compile: ${out}")
endif()

set(n 0)
foreach(h ${headers})
  math(EXPR n "${n} + 1")
  compile(probe${n} "#include <${h}>" ok out)
  if(h IN_LIST allowed)
    if(NOT ok)
      list(APPEND wrong "<${h}>, which ${TARGET} may use, does not compile: ${out}")
    endif()
  elseif(ok)
    list(APPEND wrong "<${h}> compiles in ${TARGET}")
  elseif(NOT out MATCHES "is a platform header: ${TARGET} is platform-neutral")
    list(APPEND wrong "<${h}> fails in ${TARGET} for another reason: ${out}")
  endif()
endforeach()
file(REMOVE_RECURSE ${WORK})

if(wrong)
  list(JOIN wrong "\n  " text)
  message(FATAL_ERROR "${text}")
endif()
message(STATUS "${TARGET}: ${n} platform headers tried")
