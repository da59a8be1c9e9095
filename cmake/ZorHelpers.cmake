# Adds every immediate sub-folder of DIR (relative to the top of the source
# tree, from any folder) that has a CMakeLists.txt, in name order, but those
# named after EXCEPT.
function(zor_add_subdirectories dir)
  cmake_parse_arguments(ARG "" "" "EXCEPT" ${ARGN})
  file(GLOB children RELATIVE "${CMAKE_SOURCE_DIR}/${dir}" "${CMAKE_SOURCE_DIR}/${dir}/*")
  list(SORT children)
  if(ARG_EXCEPT)
    list(REMOVE_ITEM children ${ARG_EXCEPT})
  endif()
  foreach(child IN LISTS children)
    if(EXISTS "${CMAKE_SOURCE_DIR}/${dir}/${child}/CMakeLists.txt")
      # Absolute paths, so a folder's own CMakeLists.txt can add its children too.
      add_subdirectory("${CMAKE_SOURCE_DIR}/${dir}/${child}" "${CMAKE_BINARY_DIR}/${dir}/${child}")
    endif()
  endforeach()
endfunction()

# zor_add_library(NAME SOURCES ... DEPS ...): one library per src/ folder.
# Public headers are included as "folder/header.h" from src/.
function(zor_add_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS;PRIVATE_DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC "${CMAKE_SOURCE_DIR}/src")
  target_link_libraries(${name} PUBLIC ${ARG_DEPS} PRIVATE ${ARG_PRIVATE_DEPS})
endfunction()

# zor_add_test(NAME SOURCES ... DEPS ...): a GoogleTest program registered with CTest.
# Tests run with SDL's off-screen video driver (scripts/test also selects the
# silent audio driver; a list here would be split by the test discovery).
# Tests get ZOR_CORPUS_DIR and ZOR_TEST_DATA_DIR (the test's own source folder) as macros.
function(zor_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} zor_test_doubles zor_test_support GTest::gtest GTest::gtest_main
                                        GTest::gmock)
  target_compile_definitions(${name} PRIVATE
    ZOR_CORPUS_DIR="${ZOR_CORPUS_DIR}"
    ZOR_TEST_DATA_DIR="${CMAKE_CURRENT_SOURCE_DIR}"
    ZOR_BINARY_DIR="${CMAKE_BINARY_DIR}")
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST
    PROPERTIES ENVIRONMENT "SDL_VIDEODRIVER=offscreen")
endfunction()
