# The .deb: everything of the installed layout under /usr. Its dependencies are read off the
# libraries the programs link (dpkg-shlibdeps), so they name the Qt runtime packages.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tessaly)
set(CPACK_PACKAGE_VENDOR "Tessaly developers")
# The maintainer of the newest changelog entry (packaging/release.cmake).
set(CPACK_PACKAGE_CONTACT "${TESSALY_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "monitor and data logger for a small wind turbine battery plant")
# Debian wants the lines of the long description under 80 characters.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "Tessaly and Corvenna read a logger board over a serial line and show volts,"
  "amps, watts, turbine RPM and wind speed on needle meters. They integrate"
  "watt-hours, log each interval's peaks to daily files, write a web page and"
  "spreadsheet rows, chart a day's log, and can publish the readings to an MQTT"
  "broker with Home Assistant discovery.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The web view's pages use Debian's Chart.js through a link in /usr/share/tessaly/web.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libjs-chart.js")
set(CPACK_STRIP_FILES ON)
# A cross build (cmake/aarch64-linux-gnu.cmake) packs for the machine it builds for: CPack would
# name this machine's architecture (dpkg's own), and dpkg-shlibdeps would look for the libraries
# of this machine's. Both take the target's from DEB_HOST_ARCH, which cpack sets for itself.
if(CMAKE_CROSSCOMPILING AND NOT CPACK_DEBIAN_PACKAGE_ARCHITECTURE)
  execute_process(
    COMMAND dpkg-architecture -t ${CMAKE_LIBRARY_ARCHITECTURE} -q DEB_HOST_ARCH
    OUTPUT_VARIABLE CPACK_DEBIAN_PACKAGE_ARCHITECTURE OUTPUT_STRIP_TRAILING_WHITESPACE
    ERROR_QUIET COMMAND_ERROR_IS_FATAL ANY)
endif()
if(CMAKE_CROSSCOMPILING)
  set(cpackCross ${CMAKE_BINARY_DIR}/CPackCross.cmake)
  file(WRITE ${cpackCross} "set(ENV{DEB_HOST_ARCH} ${CPACK_DEBIAN_PACKAGE_ARCHITECTURE})\n")
  set(CPACK_PROJECT_CONFIG_FILE ${cpackCross})
endif()
# Only the installed layout; the portable folder is a component of its own, never packaged.
set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};${PROJECT_NAME};Runtime;/")
# cpack packs what is built; it does not build the whole tree (tests, benchmarks) first.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
include(CPack)
