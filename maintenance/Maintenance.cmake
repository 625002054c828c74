# The backup module: the backup-restore cycle with its restore and file swap, and the
# object that owns the catalogue, the service connections and the month log.
add_library(veltor_maintenance STATIC ${CMAKE_CURRENT_LIST_DIR}/DatosLic.cpp ${CMAKE_CURRENT_LIST_DIR}/BackupRestoreCycle.cpp
            ${CMAKE_CURRENT_LIST_DIR}/CycleFiles.cpp ${CMAKE_CURRENT_LIST_DIR}/CycleSelection.cpp
            ${CMAKE_CURRENT_LIST_DIR}/DatabaseState.cpp ${CMAKE_CURRENT_LIST_DIR}/StoppedService.cpp)
target_link_libraries(veltor_maintenance PUBLIC veltor_backup veltor_catalogue veltor_dbserver veltor_config
                      veltor_ports veltor_platform_${VELTOR_PLATFORM} PRIVATE veltor_warnings)
