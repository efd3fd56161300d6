# The Debian package made by `make deb`: a Release build installed under /usr.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME dorvanta)
set(CPACK_PACKAGE_VENDOR "the Dorvanta developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(DORVANTA_MAINTAINER "Dorvanta developers <dorvanta@example.org>"
    CACHE STRING "Maintainer field of the Debian package")
set(CPACK_PACKAGE_CONTACT ${DORVANTA_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "golden-section figures of pentagons and pentagrams")
# Debian wants the long description in lines of under 80 characters; an empty line separates
# paragraphs, and no line may start with a dot.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
    "Dorvanta paints a golden-section figure: five families of parallel lines,"
    "their normals 72 degrees apart, on one series of short and long steps in the"
    "golden ratio. Wherever the lines bound a regular pentagon, the figure shows a"
    "pentagon or pentagram of one of ten orders."
    ""
    "You explore the figure live with the keys, the mouse and a colour page, save"
    "pictures as PNG (which carries the figure), BMP or JPEG and the parameters"
    "as .dat files, make numbered series of random colourings, export an SVG for"
    "print, Inkscape and pen plotters or a POV-Ray scene, and paint posters of any"
    "size on every core. dorvanta-render paints the same figures without a"
    "desktop, and file managers show thumbnails of .dat files.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DORVANTA_STRIP ${CMAKE_STRIP})
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/StripSections.cmake)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt finds its window-system plugins at run time, so dpkg-shlibdeps cannot see them.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "povray")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
