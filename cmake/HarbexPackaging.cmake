# Installation beside the programs and the Debian packages made from it.
#
# `cmake --install` lays out bin/, share/harbex/ (the data both programs look
# up from ../share/harbex beside their bin/), the desktop entry, icons, AppStream
# metainfo, the task-file MIME type, man pages and bash completion.
#
# `cpack -G DEB` makes two packages from the install components:
#   harbex-cli  (component "cli"): harbex-cli, the shared data, its man page and
#               completion. No Qt: it runs on a server without a display.
#   harbex      (component "gui"): the windowed program and its desktop files. It
#               depends on harbex-cli of the same version for the shared data: the
#               first start seeds the program folder from that data once, so both
#               programs must read one copy of it (a data file split across the two
#               packages would be missing from a program folder seeded before the
#               other package was installed).

include(GNUInstallDirs)

set(HX_DIST_DIR ${PROJECT_SOURCE_DIR}/dist)

install(DIRECTORY ${PROJECT_SOURCE_DIR}/data/ DESTINATION ${CMAKE_INSTALL_DATADIR}/harbex COMPONENT cli)

# Man pages are installed compressed, as Debian keeps them. Their heading names the
# program's version, filled in from the project version.
find_program(HX_GZIP gzip REQUIRED)
function(hx_install_man_page page component)
    set(page_file ${CMAKE_BINARY_DIR}/man/${page})
    configure_file(${HX_DIST_DIR}/man/${page}.in ${page_file} @ONLY)
    set(compressed ${page_file}.gz)
    add_custom_command(OUTPUT ${compressed}
        COMMAND ${HX_GZIP} -9 -n -c ${page_file} > ${compressed}
        DEPENDS ${page_file}
        COMMENT "Compressing man page ${page}"
        VERBATIM)
    add_custom_target(hx_man_${page} ALL DEPENDS ${compressed})
    install(FILES ${compressed} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT ${component})
endfunction()

hx_install_man_page(harbex-cli.1 cli)
install(FILES ${HX_DIST_DIR}/completion/harbex-cli
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions COMPONENT cli)

if(HX_BUILD_GUI)
    hx_install_man_page(harbex.1 gui)
    install(FILES ${HX_DIST_DIR}/harbex.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT gui)
    install(FILES ${HX_DIST_DIR}/org.harbex.Harbex.metainfo.xml
            DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo COMPONENT gui)
    install(FILES ${HX_DIST_DIR}/harbex-mime.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages
            RENAME harbex.xml COMPONENT gui)
    install(DIRECTORY ${HX_DIST_DIR}/icons/hicolor DESTINATION ${CMAKE_INSTALL_DATADIR}/icons COMPONENT gui)
endif()

# Debian packages. Each description's first line is the package's summary.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME harbex)
set(CPACK_PACKAGE_VENDOR "Harbex")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Harbex Developer <dev@harbex.invalid>")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION web)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_CLI_PACKAGE_NAME harbex-cli)
set(CPACK_COMPONENT_CLI_DESCRIPTION
    "website copier for offline browsing (command line)
Harbex copies web sites to disk so they can be read without a network: it
fetches the pages and the files they use over up to 16 connections and
rewrites the links so the copy browses from disk. Copies can go into a folder
tree or one Zip archive, be stopped and resumed, updated (only changed files
are fetched) and scheduled.

This package holds harbex-cli, the program without windows, and the data both
Harbex programs share: profiles, file types, skins and a sample site.")

set(CPACK_DEBIAN_GUI_PACKAGE_NAME harbex)
set(CPACK_DEBIAN_GUI_PACKAGE_DEPENDS "harbex-cli (= ${PROJECT_VERSION})")
set(CPACK_COMPONENT_GUI_DESCRIPTION
    "website copier for offline browsing
Harbex copies web sites to disk so they can be read without a network: type
an address, choose a profile and press Go. It fetches the pages and the files
they use over up to 16 connections and rewrites the links so the copy browses
from disk. Copies can go into a folder tree, a Personal Intranet or one Zip
archive, be stopped and resumed, updated (only changed files are fetched),
scheduled, and summed up in reports.

This package holds harbex, the windowed program, with its menu entry, icons
and the task file type.")

if(HX_BUILD_GUI)
    set(CPACK_COMPONENTS_ALL cli gui)
else()
    set(CPACK_COMPONENTS_ALL cli)
endif()

include(CPack)
