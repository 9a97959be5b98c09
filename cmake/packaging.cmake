# The installed layout and the Debian package (`make package`, cpack -G DEB).
#
#   /opt/quorvel/quorvel, /opt/quorvel/Language/*.ini   the program finds its packs beside itself
#   /usr/bin/quorvel -> /opt/quorvel/quorvel
#   desktop entry, AppStream metainfo, hicolor icon, udev rule for the camera
#
# Only the real program is installed: the demo, the tools, tests and benchmarks stay in the build.
if(NOT TARGET quorvel)
    return()
endif()

set(QUORVEL_VERSION 1.0)
set(QUORVEL_APP_ID org.quorvel.Quorvel)
set(QUORVEL_HOMEPAGE "https://quorvel.org" CACHE STRING
    "Project web site; the AppStream screenshots are its docs/ pictures")
set(QUORVEL_MAINTAINER "Quorvel developers <packaging@quorvel.org>" CACHE STRING
    "Maintainer field of the Debian package")

set(QUORVEL_PACKAGING_DIR ${CMAKE_SOURCE_DIR}/packaging)
set(QUORVEL_STAGE_DIR ${CMAKE_BINARY_DIR}/packaging)

install(TARGETS quorvel RUNTIME DESTINATION /opt/quorvel)
install(FILES ${LANGUAGE_PACKS} DESTINATION /opt/quorvel/Language)

# The link in the package points at the absolute install path; it dangles in the build tree.
file(MAKE_DIRECTORY ${QUORVEL_STAGE_DIR})
file(CREATE_LINK /opt/quorvel/quorvel ${QUORVEL_STAGE_DIR}/quorvel SYMBOLIC)
install(FILES ${QUORVEL_STAGE_DIR}/quorvel DESTINATION /usr/bin)

install(FILES ${QUORVEL_PACKAGING_DIR}/${QUORVEL_APP_ID}.desktop
    DESTINATION /usr/share/applications)
configure_file(${QUORVEL_PACKAGING_DIR}/${QUORVEL_APP_ID}.metainfo.xml.in
    ${QUORVEL_STAGE_DIR}/${QUORVEL_APP_ID}.metainfo.xml @ONLY)
install(FILES ${QUORVEL_STAGE_DIR}/${QUORVEL_APP_ID}.metainfo.xml
    DESTINATION /usr/share/metainfo)
install(FILES ${QUORVEL_PACKAGING_DIR}/70-quorvel.rules DESTINATION /usr/lib/udev/rules.d)

# The application icon at the size its resource has, read from the PNG header (width at byte
# 16, height at byte 20, big-endian).
set(QUORVEL_ICON ${CMAKE_SOURCE_DIR}/res/icon/128.png)
file(READ ${QUORVEL_ICON} icon_header OFFSET 16 LIMIT 8 HEX)
string(SUBSTRING ${icon_header} 0 8 icon_width_hex)
string(SUBSTRING ${icon_header} 8 8 icon_height_hex)
math(EXPR icon_width "0x${icon_width_hex}")
math(EXPR icon_height "0x${icon_height_hex}")
if(NOT icon_width EQUAL icon_height)
    message(FATAL_ERROR "The application icon must be square, not ${icon_width}x${icon_height}")
endif()
install(FILES ${QUORVEL_ICON}
    DESTINATION /usr/share/icons/hicolor/${icon_width}x${icon_height}/apps
    RENAME ${QUORVEL_APP_ID}.png)

# The seated user's access to the camera takes effect without replugging it.
configure_file(${QUORVEL_PACKAGING_DIR}/postinst ${QUORVEL_STAGE_DIR}/postinst COPYONLY)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quorvel)
set(CPACK_PACKAGE_VERSION ${QUORVEL_VERSION})
set(CPACK_PACKAGE_CONTACT ${QUORVEL_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Capture and playback for a USB capillary microscope camera")
set(CPACK_PACKAGE_DESCRIPTION
    "Live view of the USB capillary microscope camera (534d:0021) with the date and time\n\
burned into every frame, recording of clips into a folder of the day, and looping\n\
side-by-side playback of two clips. The seated user may open the camera without\n\
joining the video group.")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${QUORVEL_HOMEPAGE})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded at run time, so shlibdeps cannot see them: Qt's X11 platform plugin and its own
# translations, libVLC's demuxers, decoders and X11 video output, the CJK faces of the Chinese
# and Japanese captions.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "qt6-qpa-plugins, qt6-translations-l10n, vlc-plugin-base, vlc-plugin-video-output, fonts-noto-cjk")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${QUORVEL_STAGE_DIR}/postinst)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)

# Builds the package from this tree, unpacks it read-only and starts it for a user of its own.
if(NOT QUORVEL_SANITIZE)
    add_test(NAME package
        COMMAND sh ${CMAKE_SOURCE_DIR}/tests/package/package_test.sh ${CMAKE_BINARY_DIR})
    set_tests_properties(package PROPERTIES LABELS package TIMEOUT 300)
endif()
