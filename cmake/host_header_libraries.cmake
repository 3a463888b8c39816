# CLI11 and nlohmann-json are header-only Debian packages for the build machine. A cross build
# reaches just their headers, through a folder of links in the build tree: putting /usr/include
# itself on the path would mix the build machine's C library headers into the Windows build.
set(ALDL_HOST_HEADERS ${CMAKE_BINARY_DIR}/host-headers)
file(MAKE_DIRECTORY ${ALDL_HOST_HEADERS})
foreach(folder CLI nlohmann)
  if(NOT EXISTS /usr/include/${folder})
    message(FATAL_ERROR "/usr/include/${folder} is missing: install libcli11-dev and nlohmann-json3-dev")
  endif()
  file(CREATE_LINK /usr/include/${folder} ${ALDL_HOST_HEADERS}/${folder} SYMBOLIC)
endforeach()
add_library(CLI11::CLI11 INTERFACE IMPORTED)
target_include_directories(CLI11::CLI11 SYSTEM INTERFACE ${ALDL_HOST_HEADERS})
add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
target_include_directories(nlohmann_json::nlohmann_json SYSTEM INTERFACE ${ALDL_HOST_HEADERS})
