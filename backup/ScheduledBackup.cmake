# The scheduled backup run, with the backup folder and file naming it shares with the cycle,
# and what the runs do beside their backups: the status file, the status check, retention and
# verification.
add_library(veltor_backup STATIC
  ${CMAKE_CURRENT_LIST_DIR}/BackupFiles.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ServiceOutput.cpp
  ${CMAKE_CURRENT_LIST_DIR}/RunSteps.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ScheduledBackup.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Json.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Moments.cpp
  ${CMAKE_CURRENT_LIST_DIR}/StatusFile.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Retention.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Verification.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Operations.cpp
  ${CMAKE_CURRENT_LIST_DIR}/StatusCheck.cpp)
target_link_libraries(veltor_backup PUBLIC veltor_backup_log veltor_catalogue veltor_dbserver veltor_config veltor_ports
                      PRIVATE veltor_warnings)
