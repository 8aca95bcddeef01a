# The floors: which of our libraries stands on which, what the
# platform-neutral folders may include, and what a test links.
#
# - A library links only the libraries of ours below it (kelpa_may_link) and
#   links system libraries PRIVATE, so their include paths stop at it.
#   Checked when the tree is configured (kelpa_check_floors).
# - A source file includes project headers only from its own library and
#   those it stands on; engine/ and game/ include no platform header and
#   their headers name no platform type. Checked by the build whenever a
#   source changes (tools/floors/check_floors.cmake).
# - engine/ and game/ compile with a folder of headers that stop the
#   compiler at any platform header (kelpa_platform_neutral).
# - A test links the floor it tests and what it names (kelpa_link_test).

# kelpa_may_link(lib [lib...]): the libraries of ours that `lib` may link.
function(kelpa_may_link lib)
  set_property(GLOBAL APPEND PROPERTY KELPA_FLOOR_LIBS ${lib})
  set_property(GLOBAL PROPERTY KELPA_MAY_LINK_${lib} ${ARGN})
endfunction()

kelpa_may_link(kelpa_engine)
kelpa_may_link(platform_gl)
kelpa_may_link(platform_ui platform_gl)
kelpa_may_link(kelpa_ios kelpa_engine platform_gl)
kelpa_may_link(adkasa platform_ui platform_gl)
kelpa_may_link(mekko_game kelpa_engine kelpa_ios)
kelpa_may_link(kelpa_host mekko_game kelpa_ios kelpa_engine adkasa platform_ui platform_gl)
kelpa_may_link(adkasa_service)

# System libraries a library may pass on to its users, because their types
# are in its headers: adkasa's take and give nlohmann::json values.
set(KELPA_PUBLIC_SYSTEM_adkasa nlohmann_json::nlohmann_json)

# The folders that stay platform-neutral, and the one platform library they
# use: the engine decodes PNG images with libpng in one file.
set(KELPA_NEUTRAL_DIRS engine game)
set(KELPA_NEUTRAL_ALLOWED "engine/ImageDecode.cpp:png.h")

# Headers of the platform's libraries (windows, GLib, web views, drawing, GL,
# audio, network, image and font codecs), by their first path part or name.
set(KELPA_PLATFORM_HEADER_REGEX
  "^(gtk|gdk|gdk-pixbuf|glib|gio|gobject|gmodule|webkit2|webkit|JavaScriptCore|jsc|cairo|pango|pangocairo|harfbuzz|hb|atk|libsoup|soup|EGL|KHR|GLES|GLES2|GLES3|GL|GLX|AL|curl|png|pngconf|libpng|libpng16|zlib|ft2build|freetype|freetype2|X11|xcb|wayland-client|wayland-egl|SDL|SDL2|alsa|pulse|gbm|xf86drm)([-/.]|$)")
# Types of those libraries that a platform-neutral header must not name.
set(KELPA_PLATFORM_TYPE_REGEX
  "(^|[^A-Za-z0-9_])(Gtk[A-Z][A-Za-z]*|Gdk[A-Z][A-Za-z]*|G(MainContext|MainLoop|Source|Object|Error|Bytes|Cancellable|Task|Variant|HashTable|Thread|Mutex|Cond)|g(boolean|pointer|char|int|uint|size)|Soup[A-Z][A-Za-z]*|WebKit[A-Za-z]*|cairo_[a-z_]+|Pango[A-Z][A-Za-z]*|EGL[A-Za-z]+|GL(uint|int|enum|float|sizei|boolean|char|void|bitfield|ubyte|ushort|clampf)|ALC?(uint|int|enum|float|sizei|boolean|char|void|device|context|ubyte)|CURL[A-Za-z]*|png_[a-z_]+|FT_[A-Za-z_]+|pthread_[a-z_]+)([^A-Za-z0-9_]|$)")
# The headers that open each of those libraries. A platform-neutral target
# finds these first, and each one stops the compiler with a plain message:
# many sit in /usr/include, where no missing include path would stop them.
set(KELPA_PLATFORM_HEADERS
  gtk/gtk.h gdk/gdk.h glib.h glib-object.h glib-unix.h gio/gio.h webkit2/webkit2.h
  cairo.h cairo/cairo.h pango/pango.h pango/pangocairo.h libsoup/soup.h
  EGL/egl.h EGL/eglext.h EGL/eglplatform.h KHR/khrplatform.h
  GLES2/gl2.h GLES2/gl2ext.h GLES3/gl3.h GL/gl.h GL/glext.h
  AL/al.h AL/alc.h AL/alext.h AL/efx.h curl/curl.h
  png.h zlib.h ft2build.h freetype/freetype.h X11/Xlib.h SDL2/SDL.h)

# kelpa_platform_neutral(target [header...]): `target` compiles with every
# platform header stopping the compiler, but the headers named.
function(kelpa_platform_neutral target)
  set(dir ${CMAKE_BINARY_DIR}/floors/neutral/${target})
  set(wanted "")
  foreach(h ${KELPA_PLATFORM_HEADERS})
    if(h IN_LIST ARGN)
      continue()
    endif()
    list(APPEND wanted ${dir}/${h})
    file(CONFIGURE OUTPUT ${dir}/${h} CONTENT
      "#error \"<${h}> is a platform header: ${target} is platform-neutral and reaches the platform through KelpaEngine's interfaces (tools/floors/Floors.cmake)\"\n")
  endforeach()
  file(GLOB_RECURSE present ${dir}/*)
  foreach(f ${present})
    if(NOT f IN_LIST wanted)
      file(REMOVE ${f})
    endif()
  endforeach()
  target_include_directories(${target} BEFORE PRIVATE ${dir})
endfunction()

# Our library among a target's link entries: a non-imported target.
function(_kelpa_our_lib entry out)
  set(${out} "" PARENT_SCOPE)
  if(entry MATCHES "^\\$<|^::@" OR NOT TARGET "${entry}")
    return()
  endif()
  get_target_property(imported ${entry} IMPORTED)
  if(NOT imported)
    set(${out} ${entry} PARENT_SCOPE)
  endif()
endfunction()

# What a user of `lib` sees of ours: it, and what it links PUBLIC, onwards.
function(_kelpa_public_closure lib out)
  set(seen ${lib})
  set(todo ${lib})
  while(todo)
    list(POP_FRONT todo t)
    get_target_property(links ${t} INTERFACE_LINK_LIBRARIES)
    if(NOT links)
      continue()
    endif()
    foreach(entry ${links})
      _kelpa_our_lib("${entry}" dep)
      if(dep AND NOT dep IN_LIST seen)
        list(APPEND seen ${dep})
        list(APPEND todo ${dep})
      endif()
    endforeach()
  endwhile()
  set(${out} ${seen} PARENT_SCOPE)
endfunction()

# The system libraries (imported targets) a library links itself.
function(_kelpa_system_libs lib out)
  set(found "")
  get_target_property(links ${lib} LINK_LIBRARIES)
  if(links)
    foreach(entry ${links})
      if(entry MATCHES "^\\$<|^::@" OR NOT TARGET "${entry}")
        continue()
      endif()
      get_target_property(imported ${entry} IMPORTED)
      if(imported)
        list(APPEND found ${entry})
      endif()
    endforeach()
  endif()
  set(${out} ${found} PARENT_SCOPE)
endfunction()

# The library whose sources live in the folder of a project header, if any.
function(_kelpa_header_owner header out)
  get_filename_component(dir "${header}" DIRECTORY)
  string(REPLACE "/" "_" key "${dir}")
  get_property(owner GLOBAL PROPERTY KELPA_DIR_OWNER_${key})
  set(${out} "${owner}" PARENT_SCOPE)
endfunction()

# Checks the link floors and writes what the build's include check needs.
# Call once every library is made.
function(kelpa_check_floors)
  get_property(libs GLOBAL PROPERTY KELPA_FLOOR_LIBS)
  set(problems "")
  set(data "# Written by tools/floors/Floors.cmake for tools/floors/check_floors.cmake.\n")
  string(APPEND data "set(FLOOR_LIBS \"${libs}\")\n")
  string(APPEND data "set(FLOOR_NEUTRAL_DIRS \"${KELPA_NEUTRAL_DIRS}\")\n")
  string(APPEND data "set(FLOOR_NEUTRAL_ALLOWED \"${KELPA_NEUTRAL_ALLOWED}\")\n")
  string(APPEND data "set(FLOOR_PLATFORM_HEADER_REGEX \"${KELPA_PLATFORM_HEADER_REGEX}\")\n")
  string(APPEND data "set(FLOOR_PLATFORM_TYPE_REGEX \"${KELPA_PLATFORM_TYPE_REGEX}\")\n")
  set(sources "")
  foreach(lib ${libs})
    if(NOT TARGET ${lib})
      list(APPEND problems "${lib} has a floor but no library is made by that name")
      continue()
    endif()
    get_property(may GLOBAL PROPERTY KELPA_MAY_LINK_${lib})
    get_target_property(links ${lib} LINK_LIBRARIES)
    set(access ${lib})
    if(links)
      foreach(entry ${links})
        _kelpa_our_lib("${entry}" dep)
        if(NOT dep)
          continue()
        endif()
        if(NOT dep IN_LIST may)
          list(JOIN may ", " below)
          if(NOT below)
            set(below "none of ours")
          endif()
          list(APPEND problems "${lib} links ${dep}, which is not below it (it may link ${below})")
        endif()
        _kelpa_public_closure(${dep} seen)
        list(APPEND access ${seen})
      endforeach()
    endif()
    list(REMOVE_DUPLICATES access)
    get_target_property(iface ${lib} INTERFACE_LINK_LIBRARIES)
    if(iface)
      foreach(entry ${iface})
        if(entry MATCHES "^\\$<|^::@" OR NOT TARGET "${entry}")
          continue()
        endif()
        get_target_property(imported ${entry} IMPORTED)
        if(imported AND NOT entry IN_LIST KELPA_PUBLIC_SYSTEM_${lib})
          list(APPEND problems "${lib} passes the system library ${entry} on to its users: link it PRIVATE")
        endif()
      endforeach()
    endif()
    # The folders of the library's sources are its own.
    get_target_property(srcs ${lib} SOURCES)
    set(dirs "")
    foreach(src ${srcs})
      if(src MATCHES "/tools/empty\\.cpp$")
        continue()
      endif()
      file(RELATIVE_PATH rel ${CMAKE_SOURCE_DIR} ${src})
      get_filename_component(dir ${rel} DIRECTORY)
      list(APPEND dirs ${dir})
    endforeach()
    list(REMOVE_DUPLICATES dirs)
    foreach(dir ${dirs})
      string(REPLACE "/" "_" key "${dir}")
      get_property(owner GLOBAL PROPERTY KELPA_DIR_OWNER_${key})
      if(owner AND NOT owner STREQUAL lib)
        list(APPEND problems "${dir}/ holds sources of both ${owner} and ${lib}")
      endif()
      set_property(GLOBAL PROPERTY KELPA_DIR_OWNER_${key} ${lib})
      string(APPEND data "set(FLOOR_OWNER_${key} ${lib})\n")
      file(GLOB found CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${dir}/*.h ${CMAKE_SOURCE_DIR}/${dir}/*.cpp)
      list(APPEND sources ${found})
    endforeach()
    string(APPEND data "set(FLOOR_DIRS_${lib} \"${dirs}\")\n")
    string(APPEND data "set(FLOOR_ACCESS_${lib} \"${access}\")\n")
  endforeach()
  if(problems)
    list(JOIN problems "\n  " text)
    message(FATAL_ERROR "The floors do not hold:\n  ${text}")
  endif()

  # The build checks every source's includes whenever one changes.
  set(data_file ${CMAKE_BINARY_DIR}/floors/data.cmake)
  file(CONFIGURE OUTPUT ${data_file} CONTENT "${data}")
  set(stamp ${CMAKE_BINARY_DIR}/floors/includes.checked)
  set(check ${CMAKE_SOURCE_DIR}/tools/floors/check_floors.cmake)
  add_custom_command(OUTPUT ${stamp}
    COMMAND ${CMAKE_COMMAND} -DROOT=${CMAKE_SOURCE_DIR} -DDATA=${data_file} -P ${check}
    COMMAND ${CMAKE_COMMAND} -E touch ${stamp}
    DEPENDS ${check} ${data_file} ${sources}
    COMMENT "Checking the floors' includes"
    VERBATIM)
  add_custom_target(kelpa_floors ALL DEPENDS ${stamp})
  foreach(lib ${libs})
    add_dependencies(${lib} kelpa_floors)
  endforeach()
endfunction()

# The names on "// test-links:" lines of a test source and of the helper
# headers under tests/ that it includes, and those files.
function(_kelpa_test_files src names_out files_out)
  set(files "")
  set(names "")
  set(todo ${src})
  while(todo)
    list(POP_FRONT todo f)
    if(f IN_LIST files)
      continue()
    endif()
    list(APPEND files ${f})
    file(STRINGS ${f} lines REGEX "^// test-links:")
    foreach(line ${lines})
      string(REGEX REPLACE "^// test-links:[ \t]*" "" line "${line}")
      separate_arguments(more UNIX_COMMAND "${line}")
      list(APPEND names ${more})
    endforeach()
    file(STRINGS ${f} incs REGEX "^[ \t]*#[ \t]*include[ \t]*\"tests/")
    foreach(inc ${incs})
      string(REGEX REPLACE "^[^\"]*\"([^\"]+)\".*$" "\\1" inc "${inc}")
      if(EXISTS ${CMAKE_SOURCE_DIR}/${inc})
        list(APPEND todo ${CMAKE_SOURCE_DIR}/${inc})
      endif()
    endforeach()
  endwhile()
  list(REMOVE_DUPLICATES names)
  set(${names_out} ${names} PARENT_SCOPE)
  set(${files_out} ${files} PARENT_SCOPE)
endfunction()

# kelpa_link_test(target src): a test under tests/<folder>/ links the
# libraries built from <folder> (kelpa_floor; the nearest folder above that
# has one), and what a line "// test-links: NAME..." names in the test or in
# a helper header under tests/ that it includes: libraries of ours or system
# libraries (imported targets). A test of a library is white-box: it also
# gets the system libraries that library links. A project header it includes
# must come from a library it links or one of those links PUBLIC.
function(kelpa_link_test target src)
  file(RELATIVE_PATH rel ${CMAKE_SOURCE_DIR}/tests ${src})
  get_filename_component(dir ${rel} DIRECTORY)
  set(floor "")
  while(dir)
    string(REPLACE "/" "_" key "${dir}")
    get_property(floor GLOBAL PROPERTY KELPA_FLOOR_${key})
    if(floor)
      break()
    endif()
    get_filename_component(dir ${dir} DIRECTORY)
  endwhile()
  _kelpa_test_files(${src} named files)
  # A changed line changes the links.
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${files})
  get_property(ours GLOBAL PROPERTY KELPA_FLOOR_LIBS)
  set(access "")
  foreach(name ${floor} ${named})
    if(NOT TARGET ${name})
      message(FATAL_ERROR "tests/${rel}: test-links names ${name}, which is no library of this build")
    endif()
    target_link_libraries(${target} PRIVATE ${name})
    if(name IN_LIST ours)
      _kelpa_system_libs(${name} system)
      target_link_libraries(${target} PRIVATE ${system})
      _kelpa_public_closure(${name} seen)
      list(APPEND access ${seen})
    endif()
  endforeach()
  foreach(f ${files})
    file(STRINGS ${f} incs REGEX "^[ \t]*#[ \t]*include[ \t]*\"[^\"]+/")
    set(missing "")
    foreach(inc ${incs})
      string(REGEX REPLACE "^[^\"]*\"([^\"]+)\".*$" "\\1" inc "${inc}")
      _kelpa_header_owner(${inc} owner)
      if(owner AND NOT owner IN_LIST access)
        list(APPEND missing ${owner})
      endif()
    endforeach()
    if(missing)
      list(REMOVE_DUPLICATES missing)
      file(RELATIVE_PATH frel ${CMAKE_SOURCE_DIR} ${f})
      list(JOIN missing ", " missing)
      message(SEND_ERROR "${frel} includes headers of ${missing}, which tests/${rel} does not link: "
        "name them on a line \"// test-links: ...\" at the top of ${frel}")
    endif()
  endforeach()
endfunction()

# The floors' own tests: the include check on planted trees, and each
# platform-neutral library's compile on every platform header.
function(kelpa_add_floor_tests)
  set(cases ${CMAKE_SOURCE_DIR}/tests/tools/floors)
  add_test(NAME floors_include_check
    COMMAND ${CMAKE_COMMAND} -DROOT=${CMAKE_SOURCE_DIR} -DDATA=${CMAKE_BINARY_DIR}/floors/data.cmake
            -DWORK=${CMAKE_BINARY_DIR}/floors/include_cases -P ${cases}/include_cases.cmake)
  set(tests floors_include_check)
  foreach(lib kelpa_engine mekko_game)
    get_target_property(neutral ${lib} INCLUDE_DIRECTORIES)
    list(GET neutral 0 neutral)
    set(allowed "")
    if(lib STREQUAL "kelpa_engine")
      set(allowed png.h)
    endif()
    string(REPLACE ";" "|" headers "${KELPA_PLATFORM_HEADERS}")
    # The include paths of the system libraries it links itself.
    _kelpa_system_libs(${lib} system)
    set(own "")
    foreach(sys ${system})
      string(APPEND own "|$<JOIN:$<TARGET_PROPERTY:${sys},INTERFACE_INCLUDE_DIRECTORIES>,|>")
    endforeach()
    add_test(NAME floors_compile_${lib}
      COMMAND ${CMAKE_COMMAND} -DCXX=${CMAKE_CXX_COMPILER} -DTARGET=${lib}
              "-DINCLUDES=$<JOIN:$<TARGET_PROPERTY:${lib},INCLUDE_DIRECTORIES>,|>" "-DOWN=${own}"
              -DHEADERS=${headers} -DALLOWED=${allowed} -DROOT=${CMAKE_SOURCE_DIR} -DNEUTRAL=${neutral}
              -DWORK=${CMAKE_BINARY_DIR}/floors/compile_cases/${lib} -P ${cases}/compile_cases.cmake)
    list(APPEND tests floors_compile_${lib})
  endforeach()
  set_tests_properties(${tests} PROPERTIES LABELS floors TIMEOUT 120)
endfunction()
