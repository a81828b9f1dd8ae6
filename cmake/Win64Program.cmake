# 64-bit Windows programs that the tests and tools start under Wine: drivers, runners, stand-ins. A 64-bit
# program starts through wine64 directly, without the 32-bit loader. This build's toolchain is the 32-bit
# one, so they are built with the 64-bit compiler by a plain command.
#
#   add_win64_program(TARGET OUTPUT file.exe SOURCES src.cpp... [DEPENDS headers...] [OPTIONS flags...]
#                     [LIBS -lname...] [COMMENT text])
# Sources and dependencies are relative to the calling folder; TARGET builds OUTPUT with the default target.
find_program(MINGW64_CXX NAMES x86_64-w64-mingw32-g++-posix x86_64-w64-mingw32-g++ REQUIRED)

function(add_win64_program target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "OUTPUT;COMMENT" "SOURCES;DEPENDS;OPTIONS;LIBS")
  set(sources "")
  foreach(source IN LISTS arg_SOURCES)
    cmake_path(ABSOLUTE_PATH source BASE_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR} OUTPUT_VARIABLE source)
    list(APPEND sources ${source})
  endforeach()
  set(depends "")
  foreach(file IN LISTS arg_DEPENDS)
    cmake_path(ABSOLUTE_PATH file BASE_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR} OUTPUT_VARIABLE file)
    list(APPEND depends ${file})
  endforeach()
  if(NOT arg_COMMENT)
    set(arg_COMMENT "Building the 64-bit ${target}")
  endif()
  add_custom_command(
    OUTPUT ${arg_OUTPUT}
    COMMAND ${MINGW64_CXX} -std=c++20 -O2 -Wall -Wextra -static -static-libgcc -static-libstdc++ ${arg_OPTIONS}
            -o ${arg_OUTPUT} ${sources} ${arg_LIBS}
    DEPENDS ${sources} ${depends}
    COMMENT ${arg_COMMENT}
    VERBATIM)
  add_custom_target(${target} ALL DEPENDS ${arg_OUTPUT})
endfunction()
