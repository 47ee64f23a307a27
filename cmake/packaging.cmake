# The Debian package (`make package`): what `cmake --install` puts under /usr,
# with the shared-library dependencies read from the binary by dpkg-shlibdeps.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velmora)
set(CPACK_PACKAGE_VENDOR "Velmora")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Collects fast high-anonymity HTTP proxies into a table")
set(CPACK_PACKAGE_DESCRIPTION
    "Velmora walks a proxy-listing web site page by page and shows every fast\n\
high-anonymity HTTP proxy in a table, from which a right-click copies its\n\
address and port.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Velmora maintainers <maintainers@velmora.invalid>")
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded at run time, so dpkg-shlibdeps cannot see them: the SVG icon engine,
# and a font with Chinese glyphs for the window's texts.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-cjk | fonts-wqy-microhei | fonts-wqy-zenhei")

include(CPack)
