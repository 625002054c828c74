# nlohmann-json (Debian's nlohmann-json3-dev, header only) as the target nlohmann_json::nlohmann_json.
# The Linux build finds the package's CMake files. The MinGW cross-build takes the same headers
# from the build machine: only their folder is copied into the build tree, so none of the build
# machine's other headers reach the cross compiler.
if(CMAKE_CROSSCOMPILING)
  find_path(VELTOR_NLOHMANN_JSON_DIR nlohmann/json.hpp PATHS /usr/include NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH
            REQUIRED)
  file(COPY ${VELTOR_NLOHMANN_JSON_DIR}/nlohmann DESTINATION ${CMAKE_BINARY_DIR}/nlohmann-json-header)
  add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
  set_target_properties(nlohmann_json::nlohmann_json PROPERTIES INTERFACE_INCLUDE_DIRECTORIES
                                                                ${CMAKE_BINARY_DIR}/nlohmann-json-header)
else()
  find_package(nlohmann_json 3.10 REQUIRED)
endif()
