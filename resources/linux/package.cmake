# The man page, the Debian copyright and changelog, and the Debian package
# made from this build by CPack (scripts/package.sh runs it).

# Compressed as Debian wants them: gzip -9, without name or time stamp, so
# that the same sources give the same bytes.
# They carry the version, release date and the maker's addresses, and are
# configured into the build tree first.
find_program(NODESPOTTER_GZIP gzip REQUIRED)
set(NODESPOTTER_GZIPPED)
foreach(file NodeSpotter.1 debian/changelog)
    get_filename_component(name ${file} NAME)
    set(configured ${CMAKE_CURRENT_BINARY_DIR}/linux/${file})
    configure_file(${CMAKE_CURRENT_LIST_DIR}/${file}.in ${configured} @ONLY)
    set(gzipped ${CMAKE_CURRENT_BINARY_DIR}/${name}.gz)
    add_custom_command(OUTPUT ${gzipped}
        COMMAND ${NODESPOTTER_GZIP} -9 -n -c ${configured} > ${gzipped}
        DEPENDS ${configured}
        VERBATIM)
    list(APPEND NODESPOTTER_GZIPPED ${gzipped})
endforeach()
add_custom_target(nodespotter_gzipped_docs ALL DEPENDS ${NODESPOTTER_GZIPPED})
# The test man_page reads the configured page as man shows it.
set(NODESPOTTER_MAN_PAGE ${CMAKE_CURRENT_BINARY_DIR}/linux/NodeSpotter.1 PARENT_SCOPE)

set(NODESPOTTER_PACKAGE nodespotter)
if(QT_VERSION_MAJOR EQUAL 6)
    set(NODESPOTTER_PACKAGE nodespotter-qt6)
endif()
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/NodeSpotter.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
configure_file(${CMAKE_CURRENT_LIST_DIR}/debian/copyright.in linux/debian/copyright @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/linux/debian/copyright
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${NODESPOTTER_PACKAGE})
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${NODESPOTTER_PACKAGE}
        RENAME changelog.Debian.gz)

# One source, two binary packages: nodespotter (Qt 5, the default) and
# nodespotter-qt6, which takes its place. Files are named
# <package>_<version>-<Debian revision>_<architecture>.deb.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${NODESPOTTER_PACKAGE})
set(CPACK_PACKAGE_VENDOR "Quorvel")
set(CPACK_PACKAGE_CONTACT "Quorvel <${NODESPOTTER_SUPPORT_EMAIL}>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "find devices on the local IPv4 networks")
set(CPACK_PACKAGE_DESCRIPTION [=[
Quorvel Node Spotter lists the devices on the local IPv4 networks of this
computer. One second after start, and on every press of Find, it
broadcasts a text probe to UDP port 55555 and an EtherNet/IP ListIdentity
request to UDP port 44818 on every usable network address, and lists each
device that answers with its address, and for EtherNet/IP devices their
product name, revision and serial number.]=])
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SOURCE nodespotter)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${NODESPOTTER_WEBSITE}")
# Library dependencies come from dpkg-shlibdeps. Qt loads its SVG image
# plug-in, which draws the button faces, at run time, so no link shows it;
# under Qt 6 the platform plug-ins (xcb, offscreen) and the ICO reader of
# the window icon are a package of their own as well.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
if(QT_VERSION_MAJOR EQUAL 5)
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt5svg5")
else()
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6, qt6-qpa-plugins")
    set(CPACK_DEBIAN_PACKAGE_CONFLICTS nodespotter)
    set(CPACK_DEBIAN_PACKAGE_REPLACES nodespotter)
    set(CPACK_DEBIAN_PACKAGE_PROVIDES nodespotter)
endif()
include(CPack)
