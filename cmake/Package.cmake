# The Debian package (scripts/package): cpack in a Release build tree.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kelvar-setup)
set(CPACK_PACKAGE_VENDOR "${KELVAR_MAKER}")
set(CPACK_PACKAGE_CONTACT "${KELVAR_CONTACT}")
set(CPACK_PACKAGE_HOMEPAGE_URL "${KELVAR_HOMEPAGE}")
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
# dpkg-shlibdeps names the Qt and C++ runtime packages the programs link.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The project's description is the synopsis; this is the long description.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Kelvar Setup Software is the service engineer's tool for Actimar linear
position sensors. Up to 26 sensors share one RS-485 network behind one
serial port. The window (kelvar-setup) finds them, reads each one
completely, lets the user edit its settings within their limits and write
them back, and monitors position, velocity and status live.

kelvar-cli drives the sensors from a shell; actimar-sim simulates a sensor
network on a pseudo-terminal, for trying everything without hardware.

To open serial ports the user must be in the dialout group:
sudo usermod -aG dialout $USER, then log in again.")

include(CPack)
