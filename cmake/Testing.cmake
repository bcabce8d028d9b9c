# GoogleTest: the installed package natively; when cross-compiling, built
# from Debian's googletest sources with the cross compiler.
if(CMAKE_CROSSCOMPILING)
  if(NOT TARGET GTest::gtest_main)
    set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
    if(NOT TARGET GTest::gtest_main)
      add_library(GTest::gtest ALIAS gtest)
      add_library(GTest::gtest_main ALIAS gtest_main)
    endif()
  endif()
else()
  find_package(GTest REQUIRED)
endif()
include(GoogleTest)

# orvobf_add_test([NAME suffix] SOURCES ... LIBS ... [THREADS])
# One GoogleTest executable, <folder>_tests (or <folder>_<suffix>_tests),
# its tests labelled with the folder's name; THREADS adds the label
# `threads` for tests that run several threads (the tsan run).
function(orvobf_add_test)
  cmake_parse_arguments(T "THREADS" "NAME" "SOURCES;LIBS" ${ARGN})
  get_filename_component(area ${CMAKE_CURRENT_SOURCE_DIR} NAME)
  set(target ${area}_tests)
  if(T_NAME)
    set(target ${area}_${T_NAME}_tests)
  endif()
  set(labels ${area})
  if(T_THREADS)
    list(APPEND labels threads)
  endif()
  add_executable(${target} ${T_SOURCES})
  target_link_libraries(${target} PRIVATE ${T_LIBS} orvobf_test_support GTest::gtest_main orvobf_warnings)
  if(CMAKE_CROSSCOMPILING)
    # Discovery would have to run the program; register the whole binary.
    add_test(NAME ${target} COMMAND ${target})
    set_tests_properties(${target} PROPERTIES SKIP_RETURN_CODE 77 LABELS "${labels}")
  else()
    # Discovery passes a list value on as separate words: the labels are
    # set by a file of our own, read after the discovered tests.
    gtest_discover_tests(${target} DISCOVERY_TIMEOUT 60 PROPERTIES LABELS ${area})
    if(T_THREADS)
      set(label_file ${CMAKE_CURRENT_BINARY_DIR}/${target}_labels.cmake)
      file(WRITE ${label_file} "foreach(test IN LISTS ${target}_TESTS)\n"
                               "  set_tests_properties(\"\${test}\" PROPERTIES LABELS \"${labels}\")\n"
                               "endforeach()\n")
      set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${label_file})
    endif()
  endif()
  set(ORVOBF_TEST_TARGET ${target} PARENT_SCOPE)
endfunction()
