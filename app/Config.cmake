# The configuration module: ADMINBD.inf and the text helpers for numbers and dates.
add_library(veltor_config STATIC ${CMAKE_CURRENT_LIST_DIR}/Global.cpp)
target_link_libraries(veltor_config PUBLIC veltor_ports PRIVATE veltor_warnings)
