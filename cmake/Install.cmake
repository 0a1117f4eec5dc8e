# Install rules and the Debian package. Installed, the program lies on the PATH, its supplied files in the data
# folder (read-only; the user's own files go to $XDG_DATA_HOME/quillobrand/), the security library in a library
# folder of its own, and the launcher, icon and metainfo where the desktop looks for them. No "portable" marker is
# installed: that file is what keeps a staged folder's files beside the program.

set(QB_FILE_MODE OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
set(QB_PROGRAM_MODE OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

# Bound at start, as Debian builds its programs: the relocation tables are read-only from the first instruction on.
target_link_options(quillobrand PRIVATE "LINKER:-z,now")
target_link_options(qb_cryptlib PRIVATE "LINKER:-z,now")

install(TARGETS quillobrand RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")
install(TARGETS qb_cryptlib LIBRARY DESTINATION "${QB_INSTALL_LIBRARY_DIR}" PERMISSIONS ${QB_FILE_MODE})

# Everything in data/ is supplied, as for staging; the user's folders are never supplied.
install(DIRECTORY "${CMAKE_SOURCE_DIR}/data/" DESTINATION "${QB_INSTALL_DATA_DIR}"
    FILE_PERMISSIONS ${QB_FILE_MODE}
    DIRECTORY_PERMISSIONS ${QB_PROGRAM_MODE}
    REGEX "/(savedsearch|savedpages|smtp|sent|seen|watch)(/|$)" EXCLUDE
    REGEX "/(Quillobrand\\.cfg|Last Search\\.html|portable)$" EXCLUDE
    REGEX "/Help/Help$" PERMISSIONS ${QB_PROGRAM_MODE})
# Area lists that staging makes from a table in data/ are made in the install's data folder the same way.
if(EXISTS "${CMAKE_SOURCE_DIR}/cmake/AreaLists.cmake")
    install(CODE "set(SOURCE_DIR \"${CMAKE_SOURCE_DIR}\")
        set(STAGE_DIR \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${QB_INSTALL_DATA_DIR}\")
        include(\"${CMAKE_SOURCE_DIR}/cmake/AreaLists.cmake\")")
endif()
install(FILES ${QB_TOOLBAR_IMAGE_FILES} DESTINATION "${QB_INSTALL_DATA_DIR}" PERMISSIONS ${QB_FILE_MODE})
install(FILES ${QB_ABOUT_IMAGE_FILES} DESTINATION "${QB_INSTALL_DATA_DIR}/about" PERMISSIONS ${QB_FILE_MODE})

# Desktop integration.
install(FILES "${CMAKE_SOURCE_DIR}/tools/package/quillobrand.desktop" DESTINATION "${CMAKE_INSTALL_DATADIR}/applications"
    PERMISSIONS ${QB_FILE_MODE})
configure_file("${CMAKE_SOURCE_DIR}/tools/package/com.tarnwick.quillobrand.metainfo.xml.in"
    "${CMAKE_BINARY_DIR}/package/com.tarnwick.quillobrand.metainfo.xml" @ONLY)
install(FILES "${CMAKE_BINARY_DIR}/package/com.tarnwick.quillobrand.metainfo.xml"
    DESTINATION "${CMAKE_INSTALL_DATADIR}/metainfo" PERMISSIONS ${QB_FILE_MODE})
install(FILES "${QB_ICON_DIR}/quillobrand.svg" DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps"
    PERMISSIONS ${QB_FILE_MODE})
foreach(size 48 128 256)
    install(FILES "${QB_ICON_DIR}/quillobrand-${size}.png"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps" RENAME quillobrand.png
        PERMISSIONS ${QB_FILE_MODE})
endforeach()

# The manual page and the package's documents, compressed as Debian keeps them.
string(TIMESTAMP QB_RELEASE_DATE "%Y-%m-%d" UTC)
configure_file("${CMAKE_SOURCE_DIR}/tools/package/quillobrand.1.in" "${CMAKE_BINARY_DIR}/package/quillobrand.1" @ONLY)
configure_file("${CMAKE_SOURCE_DIR}/tools/package/changelog.in" "${CMAKE_BINARY_DIR}/package/changelog" @ONLY)
find_program(QB_GZIP gzip REQUIRED)
add_custom_command(
    OUTPUT "${CMAKE_BINARY_DIR}/package/quillobrand.1.gz" "${CMAKE_BINARY_DIR}/package/changelog.gz"
    COMMAND "${QB_GZIP}" -9 -n -f -k "${CMAKE_BINARY_DIR}/package/quillobrand.1"
    COMMAND "${QB_GZIP}" -9 -n -f -k "${CMAKE_BINARY_DIR}/package/changelog"
    DEPENDS "${CMAKE_BINARY_DIR}/package/quillobrand.1" "${CMAKE_BINARY_DIR}/package/changelog"
    COMMENT "Compressing the manual page and the changelog")
add_custom_target(package_documents ALL
    DEPENDS "${CMAKE_BINARY_DIR}/package/quillobrand.1.gz" "${CMAKE_BINARY_DIR}/package/changelog.gz")
install(FILES "${CMAKE_BINARY_DIR}/package/quillobrand.1.gz" DESTINATION "${CMAKE_INSTALL_MANDIR}/man1"
    PERMISSIONS ${QB_FILE_MODE})
install(FILES "${CMAKE_SOURCE_DIR}/tools/package/copyright" "${CMAKE_BINARY_DIR}/package/changelog.gz"
    DESTINATION "${CMAKE_INSTALL_DATADIR}/doc/quillobrand" PERMISSIONS ${QB_FILE_MODE})

# ./tools/package.sh: build/quillobrand_VERSION_amd64.deb.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillobrand)
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_DIRECTORY "${CMAKE_BINARY_DIR}")
set(CPACK_PACKAGE_VENDOR "The Quillobrand developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "search classified ads in many cities at once")
set(CPACK_PACKAGE_DESCRIPTION "Quillobrand searches a classified-ads site in many cities at once and merges
the ads, under a heading per city, into one local results page shown in its own
browser window. It keeps saved searches, city lists and saved pages, marks the
ads that are new since a search last ran, watches saved searches with desktop
notifications, and mails pages or answers ads through its own SMTP client over
TLS.")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Quillobrand developers <quillobrand@tarnwick.com>")
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.tarnwick.com/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Loaded at run time, so no library link names them: the X11 platform plugin, the browser engine's own process,
# the opener the help program uses.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, libqt6webenginecore6-bin, xdg-utils")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland")
include(CPack)
