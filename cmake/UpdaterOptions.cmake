# Checks the builder's options before anything is built, one message per fault.

# A relative path means the folder the builder ran the build from, not the source folder. CMake
# already resolves most on the command line; this catches the rest (typed -D, a re-used cache).
execute_process(COMMAND pwd OUTPUT_VARIABLE _caller_dir OUTPUT_STRIP_TRAILING_WHITESPACE)
foreach(_option UPDATER_PAYLOAD UPDATER_SIGN_CERT UPDATER_SIGN_KEY UPDATER_SIGN_PKCS12)
  if(NOT "${${_option}}" STREQUAL "" AND NOT IS_ABSOLUTE "${${_option}}")
    get_filename_component(_absolute "${${_option}}" ABSOLUTE BASE_DIR "${_caller_dir}")
    get_property(_help CACHE ${_option} PROPERTY HELPSTRING)
    set(${_option} "${_absolute}" CACHE FILEPATH "${_help}" FORCE)
  endif()
endforeach()

if(NOT "${UPDATER_PAYLOAD}" STREQUAL "")
  if(NOT EXISTS "${UPDATER_PAYLOAD}")
    message(FATAL_ERROR "UPDATER_PAYLOAD: there is no file ${UPDATER_PAYLOAD}")
  endif()
  execute_process(COMMAND test -f "${UPDATER_PAYLOAD}" -a -r "${UPDATER_PAYLOAD}"
                  RESULT_VARIABLE _not_a_file)
  if(_not_a_file)
    message(FATAL_ERROR "UPDATER_PAYLOAD: ${UPDATER_PAYLOAD} is not a readable regular file "
                        "(a folder or a device?); give the firmware file itself")
  endif()
endif()

if(NOT "${UPDATER_WAIT}" MATCHES "^[0-9][0-9]?[0-9]?[0-9]?[0-9]?[0-9]?[0-9]?[0-9]?[0-9]?$")
  message(FATAL_ERROR "UPDATER_WAIT must be the wait in seconds, 1 to 9 digits and nothing "
                      "else (for example 240), not '${UPDATER_WAIT}'")
endif()

# Sets `out` to the resource-script literal of `caption`, or stops with what is wrong with it.
# The caption goes through the environment so that no character, ';' included, is taken apart.
function(updater_caption_literal out caption)
  set(ENV{UPDATER_CAPTION_TEXT} "${caption}")
  execute_process(
    COMMAND ${Python3_EXECUTABLE} ${_updater_tools}/caption_rc.py "${UPDATER_CODEPAGE}" 254
    OUTPUT_VARIABLE literal OUTPUT_STRIP_TRAILING_WHITESPACE
    RESULT_VARIABLE fault)
  unset(ENV{UPDATER_CAPTION_TEXT})
  if(fault)
    message(FATAL_ERROR "${literal}")
  endif()
  set(${out} "${literal}" PARENT_SCOPE)
endfunction()
set(_updater_tools ${CMAKE_CURRENT_LIST_DIR}/../tools)
updater_caption_literal(_checked "${UPDATER_CAPTION}")
