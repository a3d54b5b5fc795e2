# Debian packages from the optimised build (`cpack -G DEB` in `build`):
#   vennix               the window program, vennix-cli, the menu entry and icon
#   vennix-terminal-sim  the simulated terminal and the demo download files
# Their library dependencies are read from the programs by dpkg-shlibdeps.

# Installing builds only what the packages hold; the tests in the same build
# folder are not needed for that and take long to build optimised.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

set(CPACK_PACKAGE_NAME vennix)
set(CPACK_PACKAGE_VENDOR "Tavrix Corporation")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Vennix maintainers <vennix@tavrix.invalid>")
set(CPACK_STRIP_FILES ON)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL vennix simulator)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)

set(CPACK_DEBIAN_VENNIX_PACKAGE_NAME vennix)
# Loaded at run time, so dpkg-shlibdeps cannot see them: the X11/Wayland
# platform plugins and the SVG reader for the icon.
set(CPACK_DEBIAN_VENNIX_PACKAGE_DEPENDS "qt6-qpa-plugins, libqt6svg6")
set(CPACK_COMPONENT_VENNIX_DESCRIPTION
"download utility for industrial operator terminals
Vennix sends a firmware image (.bin) or an application package (.bff) to an
operator terminal over a serial port (the terminal's bootloader and
apploader) or over Ethernet (TFTP). It is also a small serial console.
vennix-cli does the same downloads from the command line.

Serial ports: to open /dev/ttyS*, /dev/ttyUSB* or /dev/ttyACM* your user must
be in the dialout group, which udev gives these devices:
sudo usermod -aG dialout $USER, then log out and in again.")

set(CPACK_DEBIAN_SIMULATOR_PACKAGE_NAME vennix-terminal-sim)
set(CPACK_COMPONENT_SIMULATOR_DESCRIPTION
"simulated operator terminal for trying and testing Vennix
vennix-terminal-sim stands in for a terminal: its bootloader and apploader on
a pseudo-terminal published as a COM alias, and its TFTP server on UDP. It
checks what it receives and logs it. Demo download files are installed in
/usr/share/vennix/demo.")

include(CPack)
