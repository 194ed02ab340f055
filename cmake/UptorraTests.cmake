# GoogleTest is built from Debian's sources for the target; one test executable per subsystem,
# because every Wine start costs about a second.
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
if(EXISTS /usr/src/googletest/CMakeLists.txt)
  add_subdirectory(/usr/src/googletest "${CMAKE_BINARY_DIR}/googletest" EXCLUDE_FROM_ALL SYSTEM)
else()
  message(FATAL_ERROR "GoogleTest sources are missing. Run tools/setup.sh (Debian package googletest).")
endif()

# Runs a test executable under Wine (cross build) or directly (native build).
function(uptorra_add_test name target)
  add_test(NAME ${name} COMMAND ${target} ${ARGN})
  if(WIN32 AND CMAKE_CROSSCOMPILING)
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "UPTORRA_BUILD_DIR=${CMAKE_BINARY_DIR}")
  endif()
endfunction()

foreach(sub ${UPTORRA_SUBSYSTEMS})
  uptorra_sources(_tests "tests/${sub}")
  if(_tests)
    add_executable(test_${sub} ${_tests})
    target_link_libraries(test_${sub} PRIVATE uptorra_lib GTest::gtest GTest::gmock GTest::gtest_main)
    target_include_directories(test_${sub} PRIVATE "${CMAKE_SOURCE_DIR}/tests")
    uptorra_add_test(${sub} test_${sub})
  endif()
endforeach()

# Helper programs used by tests (crash-writers, the end-to-end driver...): every
# tests/tools/<name>.cpp becomes <name>.exe.
if(WIN32)
  file(GLOB _tools CONFIGURE_DEPENDS "${CMAKE_SOURCE_DIR}/tests/tools/*.cpp")
  foreach(src ${_tools})
    get_filename_component(_name "${src}" NAME_WE)
    add_executable(${_name} ${src})
    target_link_libraries(${_name} PRIVATE uptorra_lib)
    target_include_directories(${_name} PRIVATE "${CMAKE_SOURCE_DIR}/tests")
    if(NOT MSVC)
      target_link_options(${_name} PRIVATE -municode)  # helpers take wide arguments (wmain)
    endif()
    # The test executables start these helpers from their own folder.
    foreach(sub ${UPTORRA_SUBSYSTEMS})
      if(TARGET test_${sub})
        add_dependencies(test_${sub} ${_name})
      endif()
    endforeach()
  endforeach()
endif()

# Benchmarks: every bench/<name>_bench.cpp becomes bench_<name>; they are built, not run by ctest.
uptorra_sources(_benches "bench")
foreach(src ${_benches})
  get_filename_component(_name "${src}" NAME_WE)
  string(REGEX REPLACE "_bench(_win)?$" "" _name "${_name}")
  add_executable(bench_${_name} ${src})
  target_link_libraries(bench_${_name} PRIVATE uptorra_lib)
  target_include_directories(bench_${_name} PRIVATE "${CMAKE_SOURCE_DIR}/tests")
endforeach()

# Loopback peers (push service, proxy, SMTP) that the notify tests talk to.
include(${CMAKE_CURRENT_LIST_DIR}/NotifyPeers.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/SmtpPeers.cmake)
