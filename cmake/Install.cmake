# Install rules and the Debian package.
#
#   cmake --install build --prefix P      P/bin/qelhost, P/lib/qeltoruca/*.so, ...
#   cd build && cpack -G DEB               qeltoruca_VERSION_ARCH.deb
#
# The programs go to bin/, the module and the libraries it shares with them
# to a private folder lib/qeltoruca/: the programs find it through their
# RUNPATH, the libraries find each other (and the framework its GUI back end)
# in their own folder, as they do at the top of the build folder. The GUI back
# end's font aliases and style sheet are compiled into it, so nothing else of
# it is installed. Included at the end of the top CMakeLists.txt, so that the
# programs that other folders define (toruca) are known here, wherever their
# add_subdirectory stands.
include(GNUInstallDirs)

set(QEL_INSTALL_LIBDIR lib/qeltoruca)
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

# Checked before anything is installed or packaged (install_check.cmake,
# written below): a configured tree that was not built stops with one clear
# line instead of a missing file halfway through.
install(SCRIPT ${CMAKE_BINARY_DIR}/packaging/install_check.cmake)

set(QEL_INSTALL_PROGRAMS qelhost)
if(TARGET toruca)
  list(APPEND QEL_INSTALL_PROGRAMS toruca)
endif()
set(QEL_INSTALL_LIBRARIES qeltoruca qelfw qelhostsvc)
if(TARGET qelfw_wx)
  list(APPEND QEL_INSTALL_LIBRARIES qelfw_wx)
endif()
if(TARGET toruca_preview)
  list(APPEND QEL_INSTALL_LIBRARIES toruca_preview)
endif()

set_target_properties(${QEL_INSTALL_PROGRAMS} PROPERTIES INSTALL_RPATH "$ORIGIN/../${QEL_INSTALL_LIBDIR}")
install(TARGETS ${QEL_INSTALL_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# Shared libraries are not programs: no execute bits.
install(TARGETS ${QEL_INSTALL_LIBRARIES} LIBRARY DESTINATION ${QEL_INSTALL_LIBDIR}
        PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)

# File types, the desktop entry for HTML pages with its icon, shell completion.
install(FILES ${CMAKE_SOURCE_DIR}/packaging/qeltoruca.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/qeltoruca.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/qeltoruca.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
if(TARGET toruca AND EXISTS ${CMAKE_SOURCE_DIR}/apps/toruca/toruca-completion.bash)
  install(FILES ${CMAKE_SOURCE_DIR}/apps/toruca/toruca-completion.bash
          DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME toruca)
endif()

# Documentation: the example page with its script and example editor (run
# from share/doc/qeltoruca, as from the source tree), copyright, changelog.
install(DIRECTORY ${CMAKE_SOURCE_DIR}/examples/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples
        USE_SOURCE_PERMISSIONS)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES ${CMAKE_SOURCE_DIR}/packaging/lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME qeltoruca)
set(QEL_CHANGELOG_GZ ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
add_custom_command(OUTPUT ${QEL_CHANGELOG_GZ}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging
  COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/packaging/changelog ${CMAKE_BINARY_DIR}/packaging/changelog
  COMMAND gzip -9nf ${CMAKE_BINARY_DIR}/packaging/changelog
  DEPENDS ${CMAKE_SOURCE_DIR}/packaging/changelog VERBATIM)
add_custom_target(qel_changelog ALL DEPENDS ${QEL_CHANGELOG_GZ})
install(FILES ${QEL_CHANGELOG_GZ} DESTINATION ${CMAKE_INSTALL_DOCDIR})

# The programs' messages in other languages (po/).
foreach(catalogue IN LISTS QEL_MESSAGE_CATALOGUES)
  get_filename_component(folder ${catalogue} DIRECTORY)
  get_filename_component(folder ${folder} DIRECTORY)
  get_filename_component(lang ${folder} NAME)
  install(FILES ${catalogue} DESTINATION ${CMAKE_INSTALL_LOCALEDIR}/${lang}/LC_MESSAGES)
endforeach()

# Manual pages, written by hand in scdoc (apps/*/NAME.1.scd) and made into
# roff pages here; the install test checks that every option of a program's
# --help is in its page.
find_program(QEL_SCDOC scdoc)
set(QEL_MAN_PAGES)
if(QEL_SCDOC)
  foreach(program IN LISTS QEL_INSTALL_PROGRAMS)
    set(source ${CMAKE_SOURCE_DIR}/apps/${program}/${program}.1.scd)
    set(page ${CMAKE_BINARY_DIR}/man/${program}.1)
    add_custom_command(OUTPUT ${page}.gz
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
      COMMAND ${QEL_SCDOC} < ${source} > ${page}
      COMMAND gzip -9nf ${page}
      DEPENDS ${source} VERBATIM)
    list(APPEND QEL_MAN_PAGES ${page}.gz)
  endforeach()
  add_custom_target(qel_man_pages ALL DEPENDS ${QEL_MAN_PAGES})
  install(FILES ${QEL_MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
else()
  message(STATUS "scdoc not found: no manual pages")
endif()

# What a build needs before it installs: every product of its own, and the
# generated documentation. What the package must hold: the whole product, so
# that a reduced build (the main job's, or one without the window back end)
# never passes for the package of that name and version.
set(QEL_PACKAGE_LACKS)
if(NOT TARGET toruca)
  list(APPEND QEL_PACKAGE_LACKS "the toruca tool (QEL_TORUCA=ON)")
endif()
if(NOT TARGET toruca_preview)
  list(APPEND QEL_PACKAGE_LACKS "the preview (QEL_TORUCA=ON)")
endif()
if(NOT TARGET qelfw_wx)
  list(APPEND QEL_PACKAGE_LACKS "the window back end (QEL_GUI=ON, with wxWidgets)")
endif()
if(NOT QEL_SCDOC)
  list(APPEND QEL_PACKAGE_LACKS "the manual pages (scdoc)")
endif()
if(NOT QEL_MESSAGE_CATALOGUES)
  list(APPEND QEL_PACKAGE_LACKS "the Japanese messages (msgfmt, of gettext)")
endif()
set(QEL_INSTALL_CHECK "set(built_files\n")
foreach(file IN LISTS QEL_CHANGELOG_GZ QEL_MAN_PAGES QEL_MESSAGE_CATALOGUES)
  string(APPEND QEL_INSTALL_CHECK "  [[${file}]]\n")
endforeach()
foreach(target IN LISTS QEL_INSTALL_PROGRAMS QEL_INSTALL_LIBRARIES)
  string(APPEND QEL_INSTALL_CHECK "  [[$<TARGET_FILE:${target}>]]\n")
endforeach()
string(APPEND QEL_INSTALL_CHECK ")
foreach(file IN LISTS built_files)
  if(NOT EXISTS \"\${file}\")
    message(FATAL_ERROR \"\${file} is not built: run 'cmake --build ${CMAKE_BINARY_DIR}' first\")
  endif()
endforeach()
")
file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/packaging/install_check.cmake CONTENT "${QEL_INSTALL_CHECK}")
if(QEL_PACKAGE_LACKS)
  list(JOIN QEL_PACKAGE_LACKS ", " lacks)
  file(WRITE ${CMAKE_BINARY_DIR}/packaging/package_check.cmake
       "message(FATAL_ERROR \"this build lacks ${lacks}: a package of it would not be qeltoruca. "
       "Build the whole product (scripts/build.sh normal) and package that folder.\")\n")
  set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_BINARY_DIR}/packaging/package_check.cmake)
endif()

# The Debian package. dpkg-shlibdeps computes the dependencies; it finds the
# package's own libraries in the private folder.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME qeltoruca)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_CONTACT "qeltoruca maintainers <maintainers@users.noreply.c-seed-df68af1b.example>")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION web)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CPACK_PACKAGING_INSTALL_PREFIX}/${QEL_INSTALL_LIBDIR})
# The dialogs are laid out for the metrics of the IPA fonts; toruca's
# completion needs bash-completion to be loaded.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-ipafont-gothic, bash-completion")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "web page to ToruCa card converter
qeltoruca turns a web page into ToruCa card data, the card format of i-mode
handsets: it collects the page's images, lets the user choose the output form
and fill in the card's values in dialogs, and writes a ToruCa project file
(.tpj), detail file or snippet file (.trc) as Shift_JIS text with the images
as Base64 MIME parts, then starts the registered ToruCa editor on it. It also
reads .tpj and .trc files back and writes them in another form.
.
The package holds the plug-in module libqeltoruca.so, its host program
qelhost with its window back end, the toruca command-line tool with its
preview and bash completion, the manual pages, the file types of ToruCa
cards and projects and a desktop entry that makes a card from an HTML page.")
include(CPack)

# Installs into a temporary folder, runs what was installed, builds the
# package and checks it. Not in the sanitizer build: the install rules and
# the package are the same there, and a package of sanitized programs (which
# need the sanitizers' runtime) is nothing anyone installs.
if(QEL_TESTS AND NOT QEL_SANITIZE)
  add_test(NAME install_package
           COMMAND bash ${CMAKE_SOURCE_DIR}/tests/packaging/install_test.sh
                   ${CMAKE_BINARY_DIR} ${PROJECT_VERSION} $<TARGET_EXISTS:toruca> $<TARGET_EXISTS:qelfw_wx>)
  set_tests_properties(install_package PROPERTIES LABELS packaging TIMEOUT 900
                       WORKING_DIRECTORY ${CMAKE_BINARY_DIR})
endif()
