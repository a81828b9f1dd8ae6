# ui_forms: the general top-level window made from a design (TForm), its control wrappers and timers.
# Its portable rules (the design format, the scaling arithmetic, the countdown caption) are kept apart in
# ui_forms_rules, which also builds natively for fast tests.
add_library(ui_forms_rules STATIC
  ${CMAKE_CURRENT_LIST_DIR}/Design.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Scaling.cpp
  ${PROJECT_SOURCE_DIR}/Countdown.cpp
)
target_link_libraries(ui_forms_rules PUBLIC repair)

