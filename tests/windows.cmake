# The Windows cross-build's tests: the portable unit tests of base and io, with GoogleTest built
# from Debian's source package by the same compiler (MinGW has no GoogleTest package).
set(VANTREL_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest's source tree, built with the engine")
if(NOT EXISTS ${VANTREL_GTEST_SOURCE}/CMakeLists.txt)
    message(WARNING "No GoogleTest source at ${VANTREL_GTEST_SOURCE} (Debian: googletest): no tests")
    return()
endif()
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${VANTREL_GTEST_SOURCE} ${CMAKE_CURRENT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

# Tests that drive POSIX calls of their own (folders, modes, signals, the environment) stay on Linux.
set(FX_POSIX_ONLY_TESTS
    base/paths_test.cpp
    base/trace_test.cpp
    io/package_save_test.cpp)

foreach(subsystem base io)
    file(GLOB plain CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${subsystem}/*_test.cpp)
    list(FILTER plain EXCLUDE REGEX "_display_test\\.cpp$")
    foreach(skip ${FX_POSIX_ONLY_TESTS})
        list(REMOVE_ITEM plain ${CMAKE_CURRENT_SOURCE_DIR}/${skip})
    endforeach()
    add_executable(test_${subsystem} ${plain} ${CMAKE_CURRENT_SOURCE_DIR}/support/test_files.cpp)
    target_include_directories(test_${subsystem} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
    target_link_libraries(test_${subsystem} PRIVATE fxengine_core gtest_main gmock)
    target_compile_definitions(test_${subsystem} PRIVATE
        VANTREL_TESTDATA="${VANTREL_TESTDATA}"
        VANTREL_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
    # Run through CMAKE_CROSSCOMPILING_EMULATOR (wine) when one is set.
    add_test(NAME test_${subsystem} COMMAND test_${subsystem})
    set_tests_properties(test_${subsystem} PROPERTIES LABELS "windows;${subsystem}" TIMEOUT 300)
endforeach()
