# The Windows programs as users get them: aldl-tester.exe with its icon, an .msi made by wixl
# (share/windows/aldl-tester.wxs) and a zip of the two .exe files, in the build folder.
enable_language(RC)
set(ALDL_ICON_SVG ${CMAKE_SOURCE_DIR}/share/icons/hicolor/scalable/apps/aldl-tester.svg)
add_custom_command(OUTPUT aldl-tester.ico
  COMMAND ${CMAKE_SOURCE_DIR}/tools/windows_icon.sh ${ALDL_ICON_SVG} aldl-tester.ico
  DEPENDS ${ALDL_ICON_SVG} ${CMAKE_SOURCE_DIR}/tools/windows_icon.sh)
file(WRITE ${CMAKE_BINARY_DIR}/aldl-tester.rc "1 ICON \"${CMAKE_BINARY_DIR}/aldl-tester.ico\"\n")
set_source_files_properties(${CMAKE_BINARY_DIR}/aldl-tester.rc
  PROPERTIES OBJECT_DEPENDS ${CMAKE_BINARY_DIR}/aldl-tester.ico)
target_sources(aldl-tester PRIVATE ${CMAKE_BINARY_DIR}/aldl-tester.rc)

# wixl takes only paths relative to where it runs: it runs in the build folder.
set(ALDL_MSI aldl-tester-${PROJECT_VERSION}-x64.msi)
set(ALDL_ZIP aldl-tester-${PROJECT_VERSION}-x64.zip)
set(ALDL_WXS ${CMAKE_SOURCE_DIR}/share/windows/aldl-tester.wxs)
add_custom_command(OUTPUT ${ALDL_MSI}
  COMMAND wixl -a x64 -D Version=${PROJECT_VERSION} -D Icon=aldl-tester.ico
    -D Window=aldl-tester.exe -D Cli=aldl-tester-cli.exe -o ${ALDL_MSI} ${ALDL_WXS}
  DEPENDS ${ALDL_WXS} aldl-tester.ico aldl-tester aldl-tester-cli
  WORKING_DIRECTORY ${CMAKE_BINARY_DIR})
add_custom_command(OUTPUT ${ALDL_ZIP}
  COMMAND ${CMAKE_COMMAND} -E rm -f ${ALDL_ZIP}
  COMMAND ${CMAKE_COMMAND} -E tar cf ${ALDL_ZIP} --format=zip aldl-tester.exe aldl-tester-cli.exe
  DEPENDS aldl-tester aldl-tester-cli
  WORKING_DIRECTORY ${CMAKE_BINARY_DIR})
add_custom_target(windows_installer ALL DEPENDS ${ALDL_MSI} ${ALDL_ZIP})
