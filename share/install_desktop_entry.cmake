# Runs at install time: writes the desktop entry with the program's installed path and installs it.
# The written copy is removed again: one left by an install with sudo would belong to root, and a
# later package build by the user could not overwrite it.
cmake_path(ABSOLUTE_PATH aldl_bindir BASE_DIRECTORY "${CMAKE_INSTALL_PREFIX}" NORMALIZE
           OUTPUT_VARIABLE ALDL_INSTALL_FULL_BINDIR)
cmake_path(ABSOLUTE_PATH aldl_datadir BASE_DIRECTORY "${CMAKE_INSTALL_PREFIX}" NORMALIZE
           OUTPUT_VARIABLE datadir)
configure_file("${aldl_desktop_template}" "${aldl_desktop_entry}" @ONLY)
file(INSTALL "${aldl_desktop_entry}" DESTINATION "${datadir}/applications")
file(REMOVE "${aldl_desktop_entry}")
