# The program itself: the activity window's behaviour and the start-up shared by the front ends.
add_library(veltor_app STATIC
  ${CMAKE_CURRENT_LIST_DIR}/FrmActividad.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Startup.cpp)
target_link_libraries(veltor_app PUBLIC veltor_ports veltor_config PRIVATE veltor_warnings)

# The backup module the executables link (CreateBackupModule): the backup module of
# maintenance/, declared there.
add_library(veltor_backup_module INTERFACE)
target_link_libraries(veltor_backup_module INTERFACE veltor_maintenance)
