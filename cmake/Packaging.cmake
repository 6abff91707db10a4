# Installation and the Debian package: the program, its desktop entry, icons,
# AppStream metadata, manual page and documentation, and the CPack settings
# that turn them into quillory_<version>_amd64.deb.

# The desktop ID, a reverse-DNS name under the maker's domain. The default is a
# placeholder until the maker sets one (-DQUILLORY_APP_ID=org.maker.Quillory).
set(QUILLORY_APP_ID "com.example.Quillory" CACHE STRING "Reverse-DNS desktop ID (desktop file, icons, AppStream)")
if(NOT QUILLORY_APP_ID MATCHES "^[A-Za-z_][A-Za-z0-9_-]*(\\.[A-Za-z_][A-Za-z0-9_-]*)+$")
    message(FATAL_ERROR "QUILLORY_APP_ID must be a reverse-DNS name such as com.example.Quillory, not '${QUILLORY_APP_ID}'")
endif()
set(QUILLORY_MAINTAINER "Quillory developers <${QUILLORY_SUPPORT_EMAIL}>" CACHE STRING "Package maintainer, 'Name <address>'")
set(QUILLORY_DEVELOPER_NAME "The Quillory developers" CACHE STRING "Developer name shown by software centres")
if(QUILLORY_HOME_PAGE)
    set(quillory_homepage_default "${QUILLORY_HOME_PAGE}")
else()
    set(quillory_homepage_default "https://www.example.com/quillory/")
endif()
set(QUILLORY_PACKAGE_HOMEPAGE "${quillory_homepage_default}" CACHE STRING "Home page named by the package and the AppStream metadata")
set(QUILLORY_SCREENSHOT_URL "https://www.example.com/quillory/screenshot.png" CACHE STRING "Address of the screenshot software centres show")
# Goes with PROJECT_VERSION: set both, and add an entry to packaging/changelog.in, for each release.
set(QUILLORY_RELEASE_DATE "2026-12-09")
# X11 has no desktop ID: desktops match the window by its WM_CLASS, whose class
# part Qt takes from the application name.
set(QUILLORY_WM_CLASS "Quillory")
set(QUILLORY_FULL_DATADIR "${CMAKE_INSTALL_FULL_DATADIR}")
target_compile_definitions(quillory PRIVATE QUILLORY_APP_ID="${QUILLORY_APP_ID}")

set(packaging_dir "${CMAKE_CURRENT_SOURCE_DIR}/packaging")
set(generated_dir "${CMAKE_CURRENT_BINARY_DIR}/packaging")
configure_file(${packaging_dir}/quillory.desktop.in ${generated_dir}/${QUILLORY_APP_ID}.desktop @ONLY)
configure_file(${packaging_dir}/quillory.metainfo.xml.in ${generated_dir}/${QUILLORY_APP_ID}.metainfo.xml @ONLY)
configure_file(${packaging_dir}/quillory.1.in ${generated_dir}/quillory.1 @ONLY)
configure_file(${packaging_dir}/changelog.in ${generated_dir}/changelog @ONLY)

# The PNG icons are rendered from the one SVG; Debian wants manual pages and
# changelogs compressed, without a time stamp so that builds are reproducible.
find_program(RSVG_CONVERT rsvg-convert)
find_program(GZIP gzip REQUIRED)
if(NOT RSVG_CONVERT)
    message(FATAL_ERROR "rsvg-convert not found: install librsvg2-bin (tools/install-deps.sh)")
endif()
set(icon_svg "${CMAKE_CURRENT_SOURCE_DIR}/resources/quillory.svg")
set(icon_sizes 16 24 32 48 64 128 256)
set(packaging_outputs)
foreach(size IN LISTS icon_sizes)
    set(png "${generated_dir}/icons/${size}/${QUILLORY_APP_ID}.png")
    add_custom_command(OUTPUT ${png}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${generated_dir}/icons/${size}
        COMMAND ${RSVG_CONVERT} --width=${size} --height=${size} --keep-aspect-ratio --output=${png} ${icon_svg}
        DEPENDS ${icon_svg}
        COMMENT "Rendering the ${size}x${size} icon"
        VERBATIM)
    list(APPEND packaging_outputs ${png})
    install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
foreach(name quillory.1 changelog)
    add_custom_command(OUTPUT ${generated_dir}/${name}.gz
        COMMAND ${GZIP} -9nf --keep ${generated_dir}/${name}
        DEPENDS ${generated_dir}/${name}
        VERBATIM)
    list(APPEND packaging_outputs ${generated_dir}/${name}.gz)
endforeach()
add_custom_target(quillory_packaging_files ALL DEPENDS ${packaging_outputs})

set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
install(TARGETS quillory RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${generated_dir}/${QUILLORY_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${generated_dir}/${QUILLORY_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${icon_svg} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
    RENAME ${QUILLORY_APP_ID}.svg)
install(FILES resources/about.html DESTINATION ${CMAKE_INSTALL_DATADIR}/quillory)
install(FILES ${generated_dir}/quillory.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${packaging_dir}/copyright ${generated_dir}/changelog.gz DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quillory)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillory)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "${QUILLORY_DEVELOPER_NAME}")
set(CPACK_PACKAGE_CONTACT "${QUILLORY_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "check lists of US telephone numbers")
set(CPACK_PACKAGING_INSTALL_PREFIX "${CMAKE_INSTALL_PREFIX}")
set(CPACK_PACKAGE_DIRECTORY "${CMAKE_CURRENT_BINARY_DIR}/dist" CACHE PATH "Folder the package is written to")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${QUILLORY_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${QUILLORY_PACKAGE_HOMEPAGE}")
# The synopsis is CPACK_PACKAGE_DESCRIPTION_SUMMARY; this is the text below it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Quillory checks lists of United States telephone numbers for a valid length
and written form. Numbers are typed in, loaded from text files or taken from
the samples; the accepted shapes (10 digits, 1 plus 10 digits, 7 digits) are
chosen in the window. The valid and the invalid numbers can be saved as padded
text tables, copied to the clipboard or opened as spreadsheet workbooks.")
# The libraries come from the binary; the plugins, the font and the programs
# it starts do not show there.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6, fonts-liberation")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libreoffice-calc | gnumeric, xdg-utils")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
