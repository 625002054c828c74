# The activity log: memo lines and the month's log file in Windows-1252.
add_library(veltor_backup_log STATIC ${CMAKE_CURRENT_LIST_DIR}/ActivityLog.cpp ${CMAKE_CURRENT_LIST_DIR}/Windows1252.cpp)
target_link_libraries(veltor_backup_log PUBLIC veltor_ports PRIVATE veltor_config veltor_warnings)
