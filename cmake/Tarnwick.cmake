# Build settings shared by every target of the project.

if(WIN32)
  # Unicode GUI program for Windows of the NT family from version 5 on.
  add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX
                          _WIN32_WINNT=0x0501 WINVER=0x0501 _WIN32_IE=0x0600)
  # Small code: drop unused functions and data at link time.
  add_compile_options(-ffunction-sections -fdata-sections)
  add_link_options(-static -Wl,--gc-sections)
endif()

# Warnings are errors in the program's own code (not in GoogleTest). The
# program reports failures by return values; without exceptions, RTTI and
# thread-safe statics the C++ runtime's support code stays out of the
# executable (the Windows program has one UI thread that builds every static).
function(tarnwick_strict target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
  if(WIN32)
    target_compile_options(${target} PRIVATE -fno-exceptions -fno-rtti -fno-threadsafe-statics)
  endif()
endfunction()

# tarnwick_tests: unit tests of the portable code (host build).
# tarnwick_win_tests: tests of the Windows bindings, run under Wine (win64 build).
macro(tarnwick_test_targets)
  if(WIN32)
    set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
    add_executable(tarnwick_win_tests)
    target_link_libraries(tarnwick_win_tests PRIVATE tarnwick_core GTest::gtest_main)
    target_compile_options(tarnwick_win_tests PRIVATE -Wall -Wextra)
    target_compile_definitions(tarnwick_win_tests PRIVATE TARNWICK_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
    find_package(Python3 REQUIRED COMPONENTS Interpreter)
    add_test(NAME windows_side
             COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/wine/run_in_wine.py
                     ${CMAKE_BINARY_DIR} $<TARGET_FILE:tarnwick_win_tests>)
    set_tests_properties(windows_side PROPERTIES RESOURCE_LOCK wine TIMEOUT 300)
  else()
    find_package(GTest REQUIRED)
    include(GoogleTest)
    add_executable(tarnwick_tests)
    target_link_libraries(tarnwick_tests PRIVATE tarnwick_core GTest::gtest_main)
    target_compile_options(tarnwick_tests PRIVATE -Wall -Wextra)
    gtest_discover_tests(tarnwick_tests DISCOVERY_TIMEOUT 60)
  endif()
endmacro()

# Adds portable sources, their host tests, and the Windows files of one folder.
#   tarnwick_sources(PORTABLE a.cpp  WIN32 a_win32.cpp  TESTS a_test.cpp  WIN32_TESTS a_win32_test.cpp)
function(tarnwick_sources)
  cmake_parse_arguments(ARG "" "" "PORTABLE;WIN32;TESTS;WIN32_TESTS" ${ARGN})
  if(ARG_PORTABLE)
    target_sources(tarnwick_core PRIVATE ${ARG_PORTABLE})
  endif()
  if(WIN32)
    if(ARG_WIN32)
      target_sources(tarnwick_core PRIVATE ${ARG_WIN32})
    endif()
    if(ARG_WIN32_TESTS)
      target_sources(tarnwick_win_tests PRIVATE ${ARG_WIN32_TESTS})
    endif()
  elseif(ARG_TESTS)
    target_sources(tarnwick_tests PRIVATE ${ARG_TESTS})
  endif()
endfunction()
