# The Qt window under the offscreen platform, and a screenshot of it under Xvfb.
if(VELTOR_BUILD_QT)
  find_package(Qt6 REQUIRED COMPONENTS Widgets Test)
  veltor_test(qt_window_test LABELS gui
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/QtWindowTest.cpp
    LIBS veltor_qt veltor_app Qt6::Test)

  add_test(NAME QtProgram.WithoutADisplayEndsWithOneAndALine
    COMMAND ${CMAKE_CURRENT_LIST_DIR}/window-without-display $<TARGET_FILE:veltor-backups>)
  set_tests_properties(QtProgram.WithoutADisplayEndsWithOneAndALine PROPERTIES LABELS gui
    ENVIRONMENT "ASAN_OPTIONS=detect_leaks=0")

  add_executable(qt_window_screenshot ${CMAKE_CURRENT_LIST_DIR}/QtWindowScreenshot.cpp)
  target_link_libraries(qt_window_screenshot PRIVATE veltor_qt veltor_app veltor_warnings)
  find_program(XVFB_RUN xvfb-run)
  if(XVFB_RUN)
    add_test(NAME QtWindow.ScreenshotUnderXvfb
      COMMAND ${XVFB_RUN} -a -s "-screen 0 1280x800x24"
              $<TARGET_FILE:qt_window_screenshot> ${CMAKE_BINARY_DIR}/artifacts/veltor-backups-window.png)
    set_tests_properties(QtWindow.ScreenshotUnderXvfb PROPERTIES LABELS gui
      ENVIRONMENT "ASAN_OPTIONS=detect_leaks=0;QT_QPA_PLATFORM=xcb")
  endif()
endif()
