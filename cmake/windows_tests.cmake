# The Windows tests, run under Wine by ctest (tools/wine_run.sh as the emulator, in a Wine prefix
# of the build's own whose COM links to the machine's serial devices are gone before anything
# runs):
#   windows_core_tests  the Qt-free core tests and the Win32 layer's own, as one .exe
#   windows_bench_tests the bench's scenarios and the Windows watch for adaptors
#   wine_cli            the headless runner .exe on the simulated adaptor and on COM ports that
#                       Wine maps to ptys, driven from Linux by ALDL_WINE_HARNESS (the Linux
#                       build's wine_cli_tests), when it is given.
set(GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest's sources, built for Windows")
set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
add_subdirectory(${GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
target_compile_options(gtest PRIVATE -Wno-error)
target_compile_options(gtest_main PRIVATE -Wno-error)

enable_testing()
set(ALDL_WINEPREFIX ${CMAKE_BINARY_DIR}/wine-prefix)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_SOURCE_DIR}/tools/wine_run.sh)

add_executable(windows_core_tests
  autotests/adaptor_test_runs_test.cpp
  autotests/car_link_test.cpp
  autotests/link_exchange_test.cpp
  autotests/port_object_test.cpp
  autotests/serial_control_test.cpp
  autotests/simulated_adaptor_test.cpp
  autotests/test_figures_test.cpp
  autotests/windows/win32_texts_test.cpp
)
target_include_directories(windows_core_tests PRIVATE autotests)
target_link_libraries(windows_core_tests PRIVATE aldl_core gtest_main)
add_test(NAME windows_core_tests COMMAND windows_core_tests)
set_tests_properties(windows_core_tests PROPERTIES
  ENVIRONMENT ALDL_WINEPREFIX=${ALDL_WINEPREFIX} RESOURCE_LOCK wine TIMEOUT 600)

# The bench's scenarios, each bench in a process of its own (the test program started again),
# and the any-port watch on a played system.
add_executable(windows_bench_tests
  autotests/bench_scenarios_test.cpp
  autotests/support/windows/child_run.cpp
  autotests/windows/com_port_watch_test.cpp
)
target_include_directories(windows_bench_tests PRIVATE autotests)
target_link_libraries(windows_bench_tests PRIVATE aldl_cli gtest_main)
add_test(NAME windows_bench_tests COMMAND windows_bench_tests)
set_tests_properties(windows_bench_tests PROPERTIES
  ENVIRONMENT ALDL_WINEPREFIX=${ALDL_WINEPREFIX} RESOURCE_LOCK wine TIMEOUT 600)

set(ALDL_WINE_HARNESS "" CACHE FILEPATH "The Linux build's wine_cli_tests, which drive the .exe")
if(ALDL_WINE_HARNESS)
  add_test(NAME wine_cli COMMAND ${ALDL_WINE_HARNESS})
  set_tests_properties(wine_cli PROPERTIES
    ENVIRONMENT "ALDL_WINEPREFIX=${ALDL_WINEPREFIX};ALDL_WINDOWS_CLI=$<TARGET_FILE:aldl-tester-cli>;ALDL_WINE_RUN=${CMAKE_SOURCE_DIR}/tools/wine_run.sh;ALDL_WINDOWS_GUI=$<$<BOOL:${ALDL_GUI}>:$<TARGET_FILE:aldl-tester>>;ALDL_WINDOWS_MSI=$<$<BOOL:${ALDL_GUI}>:${CMAKE_BINARY_DIR}/${ALDL_MSI}>;ALDL_WINDOWS_WXS=${ALDL_WXS}"
    RESOURCE_LOCK wine TIMEOUT 900)
endif()

# The real window, offscreen, with the window tests that need no Linux device.
if(ALDL_GUI)
  add_executable(windows_window_tests
    autotests/support/window_test_main.cpp
    autotests/window_lifecycle_test.cpp
    autotests/window_controls_test.cpp
  )
  target_include_directories(windows_window_tests PRIVATE autotests)
  target_compile_definitions(windows_window_tests PRIVATE
    ALDL_PROJECT_VERSION="${PROJECT_VERSION}" ALDL_BUILD_DATE="${ALDL_BUILD_DATE}")
  target_link_libraries(windows_window_tests PRIVATE aldl_window Qt6::GuiPrivate gtest)
  qt_import_plugins(windows_window_tests INCLUDE Qt6::QOffscreenIntegrationPlugin)
  add_test(NAME windows_window_tests COMMAND windows_window_tests)
  set_tests_properties(windows_window_tests PROPERTIES
    ENVIRONMENT ALDL_WINEPREFIX=${ALDL_WINEPREFIX} RESOURCE_LOCK wine TIMEOUT 600)
endif()
