# The header-only libraries of the Debian host (CLI11, nlohmann-json, stb,
# tinygltf, tinyobjloader) for the Windows cross-build. Their folders are
# linked into one include folder of the build, so the host's /usr/include
# (with its glibc headers) never reaches the cross-compiler. Debian builds
# stb, tinygltf and tinyobjloader as Linux libraries; here their
# implementations are compiled from the same headers. The packages are made
# known to find_package under the names and targets the tools ask for.
set(zor_host_include "${CMAKE_BINARY_DIR}/host-include")
file(MAKE_DIRECTORY "${zor_host_include}")
foreach(entry CLI nlohmann tiny_gltf.h tiny_obj_loader.h
              stb/stb_image.h stb/stb_image_write.h stb/stb_image_resize.h)
  get_filename_component(name "${entry}" NAME)
  if(NOT EXISTS "/usr/include/${entry}")
    message(FATAL_ERROR "/usr/include/${entry} is missing: run scripts/install-deps play")
  endif()
  if(NOT EXISTS "${zor_host_include}/${name}")
    file(CREATE_LINK "/usr/include/${entry}" "${zor_host_include}/${name}" SYMBOLIC)
  endif()
endforeach()

add_library(zor_host_headers INTERFACE)
target_include_directories(zor_host_headers SYSTEM INTERFACE "${zor_host_include}")

# The implementations, each in a source file of its own.
set(zor_windows_glue "${CMAKE_CURRENT_LIST_DIR}")
add_library(zor_host_stb STATIC "${zor_windows_glue}/stb_library.c")
target_link_libraries(zor_host_stb PUBLIC zor_host_headers)
add_library(zor_host_tinyobjloader STATIC "${zor_windows_glue}/tinyobjloader_library.cpp")
target_link_libraries(zor_host_tinyobjloader PUBLIC zor_host_headers)
add_library(zor_host_tinygltf STATIC "${zor_windows_glue}/tinygltf_library.cpp")
target_link_libraries(zor_host_tinygltf PUBLIC zor_host_headers)
foreach(target zor_host_stb zor_host_tinyobjloader zor_host_tinygltf)
  # Other people's code: their warnings are not ours to mend.
  target_compile_options(${target} PRIVATE -w)
endforeach()

# find_package(NAME) finds a config file that names the targets above.
set(zor_host_packages "${CMAKE_BINARY_DIR}/host-packages")
function(zor_host_package name target library)
  file(WRITE "${zor_host_packages}/${name}/${name}Config.cmake"
       "if(NOT TARGET ${target})\n"
       "  add_library(${target} INTERFACE IMPORTED GLOBAL)\n"
       "  set_target_properties(${target} PROPERTIES INTERFACE_LINK_LIBRARIES ${library})\n"
       "endif()\n"
       "set(${name}_FOUND TRUE)\n")
  set(${name}_DIR "${zor_host_packages}/${name}" CACHE PATH "" FORCE)
endfunction()
zor_host_package(CLI11 CLI11::CLI11 zor_host_headers)
zor_host_package(nlohmann_json nlohmann_json::nlohmann_json zor_host_headers)
zor_host_package(TinyGLTF TinyGLTF::TinyGLTF zor_host_tinygltf)
zor_host_package(tinyobjloader tinyobjloader::tinyobjloader zor_host_tinyobjloader)
# zor-import links stb's library by the name find_library gives it.
set(ZOR_STB_LIBRARY zor_host_stb CACHE STRING "" FORCE)
