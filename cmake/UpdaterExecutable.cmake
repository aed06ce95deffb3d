# add_updater(NAME CAPTION text WAIT text [PAYLOAD file | NO_PAYLOAD] [DELIVERY_BOUND seconds])
# Builds one updater executable from the shared code with its own resource set. DELIVERY_BOUND,
# for test variants, shortens how long a job waits for the printer's acknowledgement.

set(PICTURE_DIR ${CMAKE_BINARY_DIR}/pictures)
set(PICTURES ${PICTURE_DIR}/smile.bmp ${PICTURE_DIR}/frown.bmp ${PICTURE_DIR}/updater.ico)
add_custom_command(OUTPUT ${PICTURES}
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tools/make_pictures.py ${PICTURE_DIR}
  DEPENDS ${CMAKE_SOURCE_DIR}/tools/make_pictures.py
  COMMENT "Drawing the pictures and the icon")
add_custom_target(updater_pictures DEPENDS ${PICTURES})

# Text for a quoted resource-script string: quotes doubled, backslashes kept literal.
function(_rc_quote out text)
  string(REPLACE "\\" "\\\\" text "${text}")
  string(REPLACE "\"" "\"\"" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

function(add_updater name)
  # Read from the arguments themselves, so a caption keeps its ';'.
  cmake_parse_arguments(PARSE_ARGV 1 U "NO_PAYLOAD" "CAPTION;WAIT;PAYLOAD;DELIVERY_BOUND" "")
  updater_caption_literal(RC_CAPTION "${U_CAPTION}")
  _rc_quote(RC_WAIT "${U_WAIT}")
  set(RC_MANIFEST ${CMAKE_SOURCE_DIR}/resources/updater.manifest)
  set(RC_VERSION_COMMAS "${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${PROJECT_VERSION_PATCH},0")
  if(U_NO_PAYLOAD)
    set(RC_PAYLOAD_LINE "")
    set(payload_dep "")
  else()
    set(RC_PAYLOAD_LINE "IDR_PAYLOAD FILE \"${U_PAYLOAD}\"")
    set(payload_dep ${U_PAYLOAD})
  endif()
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${name}.rc)
  configure_file(${CMAKE_SOURCE_DIR}/resources/updater.rc.in ${rc} @ONLY)
  set_source_files_properties(${rc} PROPERTIES
    OBJECT_DEPENDS "${PICTURES};${payload_dep};${RC_MANIFEST};${CMAKE_SOURCE_DIR}/resources/resource_ids.h"
    INCLUDE_DIRECTORIES ${CMAKE_SOURCE_DIR}/resources)
  add_executable(${name} WIN32 ${CMAKE_SOURCE_DIR}/app/main.cpp ${CMAKE_SOURCE_DIR}/app/memory.cpp ${rc})
  add_dependencies(${name} updater_pictures default_payload)
  target_compile_options(${name} PRIVATE ${UPDATER_WARNINGS} -fno-exceptions -fno-rtti
    -fno-threadsafe-statics)
  target_link_libraries(${name} PRIVATE updater_core)
  if(U_DELIVERY_BOUND)
    target_compile_definitions(${name} PRIVATE UPDATER_DELIVERY_BOUND_SECONDS=${U_DELIVERY_BOUND})
  endif()
  # No link time in the header: two builds of the same sources give the same bytes.
  target_link_options(${name} PRIVATE -static -mwindows -Wl,--gc-sections -Wl,--no-insert-timestamp -s)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
endfunction()
