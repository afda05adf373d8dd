# The .deb: everything of the installed layout under /usr. Its dependencies are read off the
# libraries the programs link (dpkg-shlibdeps), so they name the Qt runtime packages.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tessaly)
set(CPACK_PACKAGE_VENDOR "Tessaly developers")
set(CPACK_PACKAGE_CONTACT "Tessaly developers <tessaly@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "Monitor and data logger for a small wind turbine battery-charging plant")
set(CPACK_PACKAGE_DESCRIPTION
  "Tessaly and Corvenna read a logger board over a serial line, show volts, amps, watts, turbine RPM and wind speed on needle meters, log interval peaks to daily files, export a web page and spreadsheet rows, and chart a day's log.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
# Only the installed layout; the portable folder is a component of its own, never packaged.
set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};${PROJECT_NAME};Runtime;/")
# cpack packs what is built; it does not build the whole tree (tests, benchmarks) first.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
include(CPack)
