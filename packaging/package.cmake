# What `cmake --install` puts in place and what the Debian package holds:
# the programs, the sample demo, a desktop entry with icons made from the
# demo's logo, a manual page for every program, the user's documents (the
# README, the author's guide and the worked examples), the copyright file
# and the changelog. `scripts/package` builds zor_VERSION_amd64.deb through CPack.
#
# A new program is one more name in ZOR_PROGRAMS with its one-line summary
# (its manual page's NAME line); its own CMakeLists.txt installs nothing.

include(GNUInstallDirs)

set(ZOR_PROGRAMS
  "zor|play the zor demo: a real-time 3D scene with music"
  "zorpack|build, list, extract and check zor data archives"
  "zor-render|render frames of a zor scene headless to PNG files or a video"
  "zor-view|preview a zor scene in a window while it is being made"
  "zor-inspect|summarise a zor scene and check it for problems"
  "zor-demo-gen|write the zor sample demo"
  "zor-import|turn glTF 2.0 and Wavefront OBJ models into a zor play folder"
  "zor-build|build the zor play folder an author's recipe (demo.toml) directs"
  "zor-publish|make a zor demo into a web page, a web site or a Windows zip"
)
set(ZOR_MAINTAINER "zor developers <zor-developers@users.noreply.example.org>")
set(ZOR_DEMO_FILES zor.dat mp3.mp3 water.avi)
set(zor_package_dir "${CMAKE_BINARY_DIR}/package")

find_program(ZOR_HELP2MAN help2man)
find_program(ZOR_CONVERT convert)
find_program(ZOR_GZIP gzip REQUIRED)

set(zor_program_targets "")
set(zor_manual_pages "")
foreach(entry IN LISTS ZOR_PROGRAMS)
  string(REPLACE "|" ";" entry "${entry}")
  list(GET entry 0 program)
  list(GET entry 1 summary)
  list(APPEND zor_program_targets ${program})
  # help2man reads the program's --help and --version.
  if(ZOR_HELP2MAN)
    set(page "${zor_package_dir}/man/${program}.1.gz")
    add_custom_command(
      OUTPUT "${page}"
      COMMAND "${CMAKE_COMMAND}" -E make_directory "${zor_package_dir}/man"
      COMMAND "${ZOR_HELP2MAN}" --no-info --section=1 "--name=${summary}"
              "--include=${CMAKE_CURRENT_LIST_DIR}/see-also.h2m"
              "--output=${zor_package_dir}/man/${program}.source.1" "$<TARGET_FILE:${program}>"
      COMMAND "${CMAKE_COMMAND}" "-DINPUT=${zor_package_dir}/man/${program}.source.1"
              "-DOUTPUT=${zor_package_dir}/man/${program}.1" -P "${CMAKE_CURRENT_LIST_DIR}/installed-places.cmake"
      COMMAND "${ZOR_GZIP}" -9nf "${zor_package_dir}/man/${program}.1"
      DEPENDS ${program} "${CMAKE_CURRENT_LIST_DIR}/see-also.h2m" "${CMAKE_CURRENT_LIST_DIR}/installed-places.cmake"
      COMMENT "Manual page of ${program}"
      VERBATIM)
    list(APPEND zor_manual_pages "${page}")
  endif()
endforeach()
install(TARGETS ${zor_program_targets} RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")

# The sample demo as the build writes it.
list(TRANSFORM ZOR_DEMO_FILES PREPEND "${CMAKE_BINARY_DIR}/demo/" OUTPUT_VARIABLE zor_demo_paths)
install(FILES ${zor_demo_paths} DESTINATION "${CMAKE_INSTALL_DATADIR}/zor/demo")

# The runtimes zor-publish puts an author's demo beside, so that the package
# alone publishes: the page for web browsers (scripts/web builds it into
# build-web/: the files src/writers/web_page.h lists, with its README and the
# licence with the notices of what zor.js and zor.wasm carry) and the
# Windows player (scripts/windows, build-win/runtime/). scripts/package
# builds both first; a build without them installs the rest.
set(ZOR_WEB_RUNTIME_DIR "${CMAKE_SOURCE_DIR}/build-web")
set(ZOR_WINDOWS_RUNTIME_DIR "${CMAKE_SOURCE_DIR}/build-win/runtime")
include(WebPage)
zor_web_runtime_files(zor_web_files zor_web_roles)
foreach(file IN LISTS zor_web_files)
  install(FILES "${ZOR_WEB_RUNTIME_DIR}/${file}" DESTINATION "${CMAKE_INSTALL_DATADIR}/zor/web" OPTIONAL)
endforeach()
install(DIRECTORY "${ZOR_WINDOWS_RUNTIME_DIR}/" DESTINATION "${CMAKE_INSTALL_DATADIR}/zor/windows"
        FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ OPTIONAL)

# The desktop entry names the demo where it is installed, which is known
# only when installing (cmake --install --prefix, or /usr in the package).
install(CODE "
  set(ZOR_DEMO_INSTALL_DIR \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}/zor/demo\")
  configure_file(\"${CMAKE_CURRENT_LIST_DIR}/zor.desktop.in\" \"${zor_package_dir}/zor.desktop\" @ONLY)
")
install(FILES "${zor_package_dir}/zor.desktop" DESTINATION "${CMAKE_INSTALL_DATADIR}/applications")

# Icons: the logo's emblem, its see-through magenta made transparent.
set(zor_icon_sizes 16 32 48 64 128 256)
set(zor_icons "")
if(ZOR_CONVERT)
  set(logo "${zor_package_dir}/skane.jpg")
  add_custom_command(
    OUTPUT "${logo}"
    COMMAND "${CMAKE_COMMAND}" -E make_directory "${zor_package_dir}"
    COMMAND zorpack extract "${CMAKE_BINARY_DIR}/demo/zor.dat" skane.jpg -C "${zor_package_dir}" --overwrite --quiet
    DEPENDS zorpack zor_demo "${CMAKE_BINARY_DIR}/demo/zor.dat"
    COMMENT "The demo's logo for the icons"
    VERBATIM)
  foreach(size IN LISTS zor_icon_sizes)
    set(icon "${zor_package_dir}/icons/${size}x${size}/zor.png")
    add_custom_command(
      OUTPUT "${icon}"
      COMMAND "${CMAKE_COMMAND}" -E make_directory "${zor_package_dir}/icons/${size}x${size}"
      COMMAND "${ZOR_CONVERT}" "${logo}" -alpha set -fuzz 30% -transparent "#ff00ff" -trim +repage
              -resize "${size}x${size}" -background none -gravity center -extent "${size}x${size}"
              -strip "PNG32:${icon}"
      DEPENDS "${logo}"
      COMMENT "Icon ${size}x${size}"
      VERBATIM)
    list(APPEND zor_icons "${icon}")
    install(FILES "${icon}" DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps")
  endforeach()
else()
  message(STATUS "No icons for the desktop entry: ImageMagick's convert is missing (scripts/install-deps package)")
endif()

if(ZOR_HELP2MAN)
  install(FILES ${zor_manual_pages} DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")
else()
  message(STATUS "No manual pages: help2man is missing (scripts/install-deps package)")
endif()

# The documents a user reads: how to play and the tools (the README), the
# author's guide and the worked example it refers to, what the sample demo
# shows, what the readers do with bad input. The licence is the copyright
# file's.
# The installed copies name installed places, not the source tree's.
set(zor_installed_docs "")
foreach(document README.md docs/authoring.md docs/sample-demo.md docs/robustness.md)
  get_filename_component(name "${document}" NAME)
  set(copy "${zor_package_dir}/doc/${name}")
  add_custom_command(
    OUTPUT "${copy}"
    COMMAND "${CMAKE_COMMAND}" "-DINPUT=${CMAKE_SOURCE_DIR}/${document}" "-DOUTPUT=${copy}"
            -P "${CMAKE_CURRENT_LIST_DIR}/installed-places.cmake"
    DEPENDS "${CMAKE_SOURCE_DIR}/${document}" "${CMAKE_CURRENT_LIST_DIR}/installed-places.cmake"
    COMMENT "Installed copy of ${document}"
    VERBATIM)
  list(APPEND zor_installed_docs "${copy}")
endforeach()
install(FILES ${zor_installed_docs} DESTINATION "${CMAKE_INSTALL_DOCDIR}")
install(DIRECTORY "${CMAKE_SOURCE_DIR}/examples/" DESTINATION "${CMAKE_INSTALL_DOCDIR}/examples")

# The copyright file and a changelog, as Debian's policy has them.
string(TIMESTAMP ZOR_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file("${CMAKE_CURRENT_LIST_DIR}/changelog.in" "${zor_package_dir}/changelog" @ONLY)
add_custom_command(
  OUTPUT "${zor_package_dir}/changelog.gz"
  COMMAND "${ZOR_GZIP}" -9nc "${zor_package_dir}/changelog" > "${zor_package_dir}/changelog.gz"
  DEPENDS "${zor_package_dir}/changelog"
  VERBATIM)
install(FILES "${CMAKE_CURRENT_LIST_DIR}/copyright" "${zor_package_dir}/changelog.gz"
        DESTINATION "${CMAKE_INSTALL_DOCDIR}")

add_custom_target(zor_package_files ALL DEPENDS ${zor_manual_pages} ${zor_icons} "${zor_package_dir}/changelog.gz"
                                                ${zor_installed_docs})

# The Debian package.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zor)
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_CONTACT "${ZOR_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "real-time 3D scene player with a sample demo")
# The summary is the synopsis; CPack indents these lines and turns the empty
# one into the paragraph mark.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "zor plays one keyframed 3D scene with music from one archive: objects in
hierarchies with bones, morphs and dissolves, lights with lens flares,
particles with trails, planar shadows and reflection maps, drawn through
OpenGL ES 3.

The package holds the player, the sample demo (zor --dir
/usr/share/zor/demo, or the desktop entry) and the tools: zorpack for
archives, zor-render for frames and videos without a screen, zor-view to
watch a scene while it is made, zor-inspect to check one, zor-import for
glTF and OBJ models, zor-build to build a demo from its recipe, zor-publish
to make a demo into a web page, a web site or a Windows zip, and
zor-demo-gen, which writes the sample demo.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Libraries from the programs themselves; what they open by name at run time
# (the GL drivers, the fonts of the set-up window and the status line) and
# the programs the tools run (lame, ffmpeg) are named here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libgl1, libegl1, fonts-dejavu-core")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libgl1-mesa-dri, lame, ffmpeg")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY "${CMAKE_BINARY_DIR}")
# Only the installed files, owned by root, no build-tree paths.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
