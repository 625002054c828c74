# The administration database: SQL layer over the client library, schema upgrade,
# defaults and the due-backup selection.
add_library(veltor_catalogue STATIC
  ${CMAKE_CURRENT_LIST_DIR}/SqlHandles.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ColumnText.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SqlDatabase.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DueSelection.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Catalogue.cpp)
target_link_libraries(veltor_catalogue PUBLIC veltor_dbserver veltor_ports PRIVATE veltor_warnings)
