# The headless logger as a Debian package: kalorivox-probe, its systemd unit and the unit's
# options (a conffile), and maintainer scripts that make the service's user. Only the logger
# component goes in; `cpack -G DEB` in a build folder makes it (tools/logger.sh does, in a
# folder configured without Qt and tests, with the prefix /usr).
set(CPACK_PACKAGE_NAME kalorivox-probe)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Kalorivox developers")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_COMPONENTS_ALL logger)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_LOGGER_PACKAGE_NAME kalorivox-probe)
set(CPACK_DEBIAN_LOGGER_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "headless logger for DS18B20/DS18S20 1-Wire thermometers
 Reads the thermometers on a passive serial-port adapter (the UART is the bus
 master) at an interval, checks every reading and hands the sound ones to an
 MQTT broker for Home Assistant, a Prometheus textfile or CSV/JSON records.
 Ships a systemd unit that runs it as the user kalorivox.")
# The libraries the program links (libmosquitto1 and the C++ runtime), found by
# dpkg-shlibdeps; adduser makes the user.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS adduser)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${PROJECT_SOURCE_DIR}/probe/package/postinst
    ${PROJECT_SOURCE_DIR}/probe/package/prerm
    ${PROJECT_SOURCE_DIR}/probe/package/postrm
    ${PROJECT_SOURCE_DIR}/probe/package/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
