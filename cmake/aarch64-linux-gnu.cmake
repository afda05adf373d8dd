# Cross-building for 64-bit ARM (a Raspberry Pi on a 64-bit Debian 12, for one) on an amd64
# Debian with crossbuild-essential-arm64 and the arm64 development packages installed beside the
# host's own (multiarch): scripts/build-arm64.sh makes such a tree and builds in it.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
# Debian's multiarch folder of the target's libraries and CMake packages.
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)
# pkgconf's wrapper for the target, which reads the target's .pc files.
set(PKG_CONFIG_EXECUTABLE aarch64-linux-gnu-pkg-config CACHE FILEPATH "")
# Qt's tools are the host's: its moc and rcc, found through the host's Qt6*Tools packages.
set(QT_HOST_PATH /usr CACHE PATH "")
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake CACHE PATH "")
# The programs the build runs (the icons' and the screenshot's) are arm64: qemu runs them.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64-static)
