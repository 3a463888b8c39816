# ./build.sh package: a .deb of what `cmake --install` installs, stripped, its dependencies read
# from the programs by dpkg-shlibdeps.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME aldl-tester)
set(CPACK_PACKAGE_CONTACT "ALDL interface tester maintainers <maintainers@users.noreply.c-seed-6ef20f75.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "check a looped-back GM OBD1 ALDL adaptor cable at 8192 baud")
# CPack puts the summary first and indents these lines as the control file wants.
set(CPACK_PACKAGE_DESCRIPTION "The adaptor of a GM OBD1 (ALDL) diagnostic cable is powered from the serial
port's DTR and RTS lines, and the car's link runs at 8192 baud, which many
USB-serial chips quietly replace with 9600 or a rate several per cent off.
With the adaptor's data lines looped back, the tester checks the loopback
under each way of powering it and times a transfer to prove a true 8192 baud.

This package holds the window (aldl-tester) and the headless runner
(aldl-tester-cli).")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
# Packed as a component, so that CPack writes its own install manifest and leaves
# install_manifest.txt, the list of what `cmake --install` wrote, to the uninstall it serves.
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL Unspecified)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
include(CPack)
