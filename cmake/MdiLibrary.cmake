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

# mdi_test(NAME DIR DEPS ... [LOCK name]): one GoogleTest binary per test
# folder. Binaries that share a machine-wide resource (loop devices) name
# it as LOCK, so CTest never runs two of them at once.
function(mdi_test name)
  cmake_parse_arguments(ARG "QT" "LOCK" "DIRS;DEPS" ${ARGN})
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
  set(props ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
  if(ARG_LOCK)
    list(APPEND props RESOURCE_LOCK ${ARG_LOCK})
  endif()
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES ${props})
endfunction()
