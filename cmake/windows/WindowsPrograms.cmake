# What every Windows program carries: a version resource, the logo as its
# icon (ZOR_WINDOWS_ICON, a .ico file; scripts/windows makes it from the
# demo's logo) and a manifest (Windows 7 to 11, DPI-aware, long paths, no
# elevation). Command-line programs take their UTF-8 arguments from
# startProgram (src/system/text.h).
#   zor_windows_program(TARGET "DESCRIPTION" [GUI])
set(ZOR_WINDOWS_ICON "" CACHE FILEPATH "The programs' icon (.ico); none when empty")
if(ZOR_WINDOWS_ICON AND NOT EXISTS "${ZOR_WINDOWS_ICON}")
  message(FATAL_ERROR "ZOR_WINDOWS_ICON: no file ${ZOR_WINDOWS_ICON}")
endif()

function(zor_windows_program target description)
  cmake_parse_arguments(ARG "GUI" "" "" ${ARGN})
  if(ARG_GUI)
    # A wide entry (wWinMain).
    target_link_options(${target} PRIVATE -municode)
  endif()

  set(ZOR_RC_NAME "${target}")
  set(ZOR_RC_DESCRIPTION "${description}")
  set(ZOR_RC_VERSION "${PROJECT_VERSION}")
  string(REPLACE "." "," ZOR_RC_VERSION_WORDS "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0")
  set(ZOR_RC_MANIFEST "${CMAKE_SOURCE_DIR}/packaging/windows/zor.manifest")
  if(ZOR_WINDOWS_ICON)
    set(ZOR_RC_ICON "1 ICON \"${ZOR_WINDOWS_ICON}\"")
  else()
    set(ZOR_RC_ICON "")
  endif()
  set(rc "${CMAKE_BINARY_DIR}/windows-resources/${target}.rc")
  configure_file("${CMAKE_SOURCE_DIR}/packaging/windows/program.rc.in" "${rc}" @ONLY)
  target_sources(${target} PRIVATE "${rc}")
  set_property(SOURCE "${rc}" APPEND PROPERTY OBJECT_DEPENDS "${ZOR_RC_MANIFEST}" ${ZOR_WINDOWS_ICON})
endfunction()
