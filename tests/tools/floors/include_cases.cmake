# The build's include check (tools/floors/check_floors.cmake) on small
# planted trees, one file each, and on the real tree:
#   cmake -DROOT=<source tree> -DDATA=<build>/floors/data.cmake -DWORK=<dir> -P include_cases.cmake
cmake_minimum_required(VERSION 3.20)
set(check ${ROOT}/tools/floors/check_floors.cmake)

# file | content | "" when it passes, else a part of the complaint
set(cases
  "engine/Sprite2D.cpp|#include <gtk/gtk.h>|<gtk/gtk.h>, a platform header"
  "engine/Thing.cpp|#include <glib.h>|a platform header"
  "game/Thing.cpp|#include <AL/al.h>|<AL/al.h>, a platform header"
  "game/Thing.cpp|#include <GLES2/gl2.h>|a platform header"
  "game/Thing.cpp|#include <EGL/egl.h>|a platform header"
  "engine/Thing.cpp|#include <libsoup/soup.h>|a platform header"
  "engine/Thing.cpp|#include <curl/curl.h>|a platform header"
  "engine/Thing.cpp|#include <ft2build.h>|a platform header"
  "engine/Thing.cpp|#include <webkit2/webkit2.h>|a platform header"
  "game/Thing.cpp|  #  include <cairo.h>|a platform header"
  "engine/Thing.cpp|#include <png.h>|<png.h>, a platform header"
  "engine/ImageDecode.cpp|#include <png.h>|"
  "game/ImageDecode.cpp|#include <png.h>|a platform header"
  "engine/Heap.cpp|#include <pthread.h>|"
  "engine/Heap.h|#include <pthread.h>|only C++ standard headers"
  "game/Thing.h|#include <cstdint>\nstruct A { GMainContext* context }|the platform type GMainContext"
  "engine/Thing.h|struct A { unsigned int id }\nusing Handle = GLuint|the platform type GLuint"
  "engine/Thing.h|// drawn on an EGLSurface by engine/ios/, GtkWidget in the host\nint f()|"
  "engine/Thing.h|int GLuintCount()|"
  "engine/Thing.cpp|#include \"engine/ios/AudioImp.h\"|engine/ios/AudioImp.h, of kelpa_ios, and kelpa_engine stands only on kelpa_engine"
  "engine/Thing.cpp|#include \"platform/ns/MainQueue.h\"|of platform_ui"
  "game/Thing.cpp|#include \"engine/ios/Factories.h\"\n#include \"engine/Heap.h\"|"
  "game/Thing.cpp|#include \"platform/egl/HostGL.h\"|of platform_gl"
  "game/Thing.cpp|#include \"adkasa_sdk_ios/AdkasaView.h\"|of adkasa"
  "adkasa_sdk_ios/Thing.cpp|#include \"engine/Heap.h\"|of kelpa_engine"
  "adkasa_sdk_ios/Thing.cpp|#include \"platform/ns/NSTimer.h\"|"
  "platform/egl/Thing.cpp|#include \"engine/Heap.h\"|of kelpa_engine"
  "platform/ui/Thing.cpp|#include \"adkasa_sdk_ios/AdkasaView.h\"|of adkasa"
  "platform/ui/Thing.cpp|#include <gtk/gtk.h>\n#include \"platform/ScreenProfile.h\"|"
  "engine/ios/Thing.cpp|#include \"host/HostState.h\"|of kelpa_host"
  "tools/adservice/Thing.cpp|#include \"adkasa_sdk_ios/AdkasaData.h\"|of adkasa"
  "game/Thing.cpp|#include \"engine/../platform/ui/UIView.h\"|of platform_ui"
  "game/Thing.cpp|#include \"../platform/ui/UIView.h\"|of platform_ui"
  "game/Thing.cpp|#include <platform/ui/UIView.h>|of platform_ui"
  "game/Thing.cpp|#include \"./../engine/ios/Factories.h\"|"
  "engine/Thing.cpp|#include \"ios/AudioImp.h\"|of kelpa_ios"
  "engine/Thing.cpp|#include \"Heap.h\"|"
  "game/Thing.cpp|#include \"../../outside.h\"|climbs out of the source tree"
  "game/Thing.cpp|#include <../outside.h>|climbs out of the source tree"
  "host/Thing.cpp|#include \"adkasa_sdk_ios/AdkasaView.h\"\n#include \"game/MekkoGame.h\"\n#include <gtk/gtk.h>|")

set(wrong "")
set(n 0)
foreach(entry ${cases})
  math(EXPR n "${n} + 1")
  string(REPLACE "|" ";" parts "${entry}")
  list(GET parts 0 file)
  list(GET parts 1 content)
  list(LENGTH parts count)
  set(expect "")
  if(count GREATER 2)
    list(GET parts 2 expect)
  endif()
  string(REPLACE "\\n" "\n" content "${content}")
  set(tree ${WORK}/case${n})
  file(REMOVE_RECURSE ${tree})
  file(WRITE ${tree}/${file} "${content}\n")
  execute_process(COMMAND ${CMAKE_COMMAND} -DROOT=${tree} -DDATA=${DATA} -P ${check}
    RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
  string(REPLACE "\n" " " out "${out}")
  string(REGEX REPLACE "  +" " " out "${out}")
  if(expect STREQUAL "")
    if(NOT result EQUAL 0)
      list(APPEND wrong "${file} (${content}): refused, should pass: ${out}")
    endif()
  elseif(result EQUAL 0)
    list(APPEND wrong "${file} (${content}): passed, should be refused")
  else()
    string(FIND "${out}" "${expect}" at)
    if(at LESS 0)
      list(APPEND wrong "${file} (${content}): refused, but not for \"${expect}\": ${out}")
    endif()
  endif()
  file(REMOVE_RECURSE ${tree})
endforeach()

execute_process(COMMAND ${CMAKE_COMMAND} -DROOT=${ROOT} -DDATA=${DATA} -P ${check}
  RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT result EQUAL 0)
  list(APPEND wrong "the source tree: ${out}")
endif()

if(wrong)
  list(JOIN wrong "\n  " text)
  message(FATAL_ERROR "The include check is wrong on:\n  ${text}")
endif()
message(STATUS "${n} planted trees and the source tree checked as expected")
