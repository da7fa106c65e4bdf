# mdi_library(NAME DIR [DEPS ...]): one static library per source folder.
# Sources are picked up from the folder (non-recursive) so a new file needs
# no CMake edit; sub-folders (platform/linux, ...) are added explicitly.
function(mdi_library name)
  cmake_parse_arguments(ARG "" "" "DIRS;DEPS" ${ARGN})
  set(srcs)
  foreach(d IN LISTS ARG_DIRS)
    file(GLOB s CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${d}/*.cpp)
    list(APPEND srcs ${s})
  endforeach()
  add_library(${name} STATIC ${srcs})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARG_DEPS})
endfunction()

# mdi_test(NAME DIR DEPS ...): one GoogleTest binary per test folder.
function(mdi_test name)
  cmake_parse_arguments(ARG "QT" "" "DIRS;DEPS" ${ARGN})
  set(srcs)
  foreach(d IN LISTS ARG_DIRS)
    file(GLOB s CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${d}/*.cpp)
    list(APPEND srcs ${s})
  endforeach()
  add_executable(${name} ${srcs})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gmock)
  if(NOT ARG_QT)
    target_link_libraries(${name} PRIVATE GTest::gtest_main)
  endif()
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endfunction()
