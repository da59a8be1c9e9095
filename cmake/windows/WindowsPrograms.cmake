# What every Windows program carries: a version resource, the logo as its
# icon (ZOR_WINDOWS_ICON, a .ico file; scripts/windows makes it from the
# demo's logo) and a manifest (Windows 7 to 11, DPI-aware, long paths, no
# elevation). Every program takes its UTF-8 arguments from startProgram
# (src/system/text.h), which also attaches a windows-subsystem program to the
# console it was started from.
#   zor_windows_program(TARGET "DESCRIPTION" [PLAYER] [GUI] [WIDE_ENTRY])
# PLAYER: the player, which a release carries (the others are the authors'
# tools). GUI: a windows-subsystem program (no console window of its own).
# WIDE_ENTRY: its entry is wWinMain.
#
# The programs are listed, in the order given, in BUILD/windows-programs.txt:
# a line each, "player" or "tool", a space and the program's path in the
# build folder. scripts/windows and the Windows tests read the list there.
set(ZOR_WINDOWS_ICON "" CACHE FILEPATH "The programs' icon (.ico); none when empty")
if(ZOR_WINDOWS_ICON AND NOT EXISTS "${ZOR_WINDOWS_ICON}")
  message(FATAL_ERROR "ZOR_WINDOWS_ICON: no file ${ZOR_WINDOWS_ICON}")
endif()

function(zor_windows_program target description)
  cmake_parse_arguments(ARG "PLAYER;GUI;WIDE_ENTRY" "" "" ${ARGN})
  if(ARG_GUI)
    set_target_properties(${target} PROPERTIES WIN32_EXECUTABLE ON)
  endif()
  if(ARG_WIDE_ENTRY)
    target_link_options(${target} PRIVATE -municode)
  endif()
  if(ARG_PLAYER)
    set(kind player)
  else()
    set(kind tool)
  endif()
  set_property(GLOBAL APPEND PROPERTY ZOR_WINDOWS_PROGRAMS "${kind}:${target}")

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

# Writes the list of the programs given to zor_windows_program (after all of
# them, from the top CMakeLists.txt).
function(zor_write_windows_program_list)
  get_property(programs GLOBAL PROPERTY ZOR_WINDOWS_PROGRAMS)
  set(lines "")
  foreach(entry IN LISTS programs)
    string(REPLACE ":" ";" parts "${entry}")
    list(GET parts 0 kind)
    list(GET parts 1 target)
    string(APPEND lines "${kind} $<PATH:RELATIVE_PATH,$<TARGET_FILE:${target}>,${CMAKE_BINARY_DIR}>\n")
  endforeach()
  file(GENERATE OUTPUT "${CMAKE_BINARY_DIR}/windows-programs.txt" CONTENT "${lines}")
endfunction()
