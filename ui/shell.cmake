# ui_shell: the application (title, application window, message loop), the message dialog and the error
# boxes. Its portable rules (title, closing dot, dialog layout, copied and failure texts) are kept apart in
# ui_shell_rules, which also builds natively for fast tests.
add_library(ui_shell_rules STATIC ${CMAKE_CURRENT_LIST_DIR}/ShellRules.cpp)
target_link_libraries(ui_shell_rules PUBLIC repair)

if(WIN32)
  # Run (ApplicationRun.cpp) shows the main window, a form of ui_forms; it is kept in a file of its own
  # so that a program without forms (the shell's test probe) links without them.
  add_library(ui_shell STATIC
    ${CMAKE_CURRENT_LIST_DIR}/Application.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ApplicationRun.cpp
    ${CMAKE_CURRENT_LIST_DIR}/MessageForm.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ModalScope.cpp
  )
  target_link_libraries(ui_shell PUBLIC ui_shell_rules repair_win32 gdi32 user32)
  # The program's resources embed the manifest and the main icon.
  set_property(SOURCE ${PROJECT_SOURCE_DIR}/resources/MdacRepair.rc APPEND PROPERTY
               OBJECT_DEPENDS ${PROJECT_SOURCE_DIR}/resources/MdacRepair.manifest
                              ${PROJECT_SOURCE_DIR}/resources/MainIcon.ico)
endif()
