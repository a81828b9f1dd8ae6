# ui_forms: the general top-level window made from a design (TForm), its control wrappers and timers.
# Its portable rules (the design format, the scaling arithmetic, the countdown caption) are kept apart in
# ui_forms_rules, which also builds natively for fast tests.
add_library(ui_forms_rules STATIC
  ${CMAKE_CURRENT_LIST_DIR}/Design.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Scaling.cpp
  ${PROJECT_SOURCE_DIR}/Countdown.cpp
)
target_link_libraries(ui_forms_rules PUBLIC repair)

if(WIN32)
  add_library(ui_forms STATIC
    ${CMAKE_CURRENT_LIST_DIR}/Button.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Component.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Control.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Form.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Label.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ProgressBar.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Timer.cpp
  )
  target_link_libraries(ui_forms PUBLIC ui_forms_rules comctl32 gdi32 user32)
  # The main window's design is included into the program's resources; rebuild them when it changes.
  set_property(SOURCE ${PROJECT_SOURCE_DIR}/resources/MdacRepair.rc APPEND PROPERTY
               OBJECT_DEPENDS ${PROJECT_SOURCE_DIR}/resources/Unit1.rc)
endif()
