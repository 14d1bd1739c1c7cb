# The Windows cross-build's tests: the portable unit tests of every subsystem that builds, with
# GoogleTest built from Debian's source package by the same compiler (MinGW has no GoogleTest
# package), and the Windows-only tests of tests/windows. tests/windows/run_unit_tests.sh runs them
# all under Wine.
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
    io/package_save_test.cpp
    # The counter's own tests check the Linux counter (malloc under the sanitizer, stack walks).
    objects/alloc_counter_test.cpp)

# Subsystems whose tests need the display library (the device, canvas text, the scene objects).
set(FX_DISPLAY_SUBSYSTEMS render objects)

function(vantrel_add_windows_test name)
    target_include_directories(${name} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
    target_link_libraries(${name} PRIVATE gtest_main gmock)
    target_compile_options(${name} PRIVATE -include ${CMAKE_CURRENT_SOURCE_DIR}/windows/posix_compat.h)
    # M_PI and friends, which the strict C++ mode of the MinGW headers hides.
    target_compile_definitions(${name} PRIVATE _USE_MATH_DEFINES)
    target_compile_definitions(${name} PRIVATE
        VANTREL_TESTDATA="${VANTREL_TESTDATA}"
        VANTREL_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
    # Run through CMAKE_CROSSCOMPILING_EMULATOR (wine) when one is set.
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES LABELS "windows;${ARGN}" TIMEOUT 300)
endfunction()

foreach(subsystem base io render geometry models objects)
    file(GLOB plain CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${subsystem}/*_test.cpp)
    list(FILTER plain EXCLUDE REGEX "_display_test\\.cpp$")
    foreach(skip ${FX_POSIX_ONLY_TESTS})
        list(REMOVE_ITEM plain ${CMAKE_CURRENT_SOURCE_DIR}/${skip})
    endforeach()
    # The allocation counter of support/ walks stacks with glibc: Windows has its own.
    add_executable(test_${subsystem} ${plain} ${CMAKE_CURRENT_SOURCE_DIR}/support/test_files.cpp
        ${CMAKE_CURRENT_SOURCE_DIR}/windows/alloc_counter_w32.cpp)
    if(subsystem IN_LIST FX_DISPLAY_SUBSYSTEMS)
        target_link_libraries(test_${subsystem} PRIVATE fxengine)
    else()
        target_link_libraries(test_${subsystem} PRIVATE fxengine_core)
    endif()
    vantrel_add_windows_test(test_${subsystem} ${subsystem})
endforeach()

# The display tests that draw through the portable device and its fixture; those that talk to the
# X server, or clean up through a POSIX shell, stay on Linux.
set(FX_X11_ONLY_TESTS
    render/material_display_test.cpp
    render/gl_display_test.cpp
    render/scrshot_display_test.cpp
    render/window_display_test.cpp)
foreach(subsystem render geometry objects)
    file(GLOB display CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${subsystem}/*_display_test.cpp)
    foreach(skip ${FX_X11_ONLY_TESTS})
        list(REMOVE_ITEM display ${CMAKE_CURRENT_SOURCE_DIR}/${skip})
    endforeach()
    if(display)
        add_executable(test_${subsystem}_display ${display} ${CMAKE_CURRENT_SOURCE_DIR}/support/test_files.cpp
            ${CMAKE_CURRENT_SOURCE_DIR}/support/display/gl_fixture.cpp
            ${CMAKE_CURRENT_SOURCE_DIR}/windows/alloc_counter_w32.cpp)
        target_link_libraries(test_${subsystem}_display PRIVATE fxengine)
        vantrel_add_windows_test(test_${subsystem}_display "display;${subsystem}")
    endif()
endforeach()

# The Windows units themselves: pictures through the Imaging Component, GDI text, the WGL device,
# the DirectDraw capture. They need a desktop (Wine's, on Xvfb).
file(GLOB FX_WINDOWS_TESTS CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/windows/*_test.cpp)
if(FX_WINDOWS_TESTS)
    add_executable(test_windows ${FX_WINDOWS_TESTS} ${CMAKE_CURRENT_SOURCE_DIR}/support/test_files.cpp)
    target_link_libraries(test_windows PRIVATE fxengine)
    vantrel_add_windows_test(test_windows display)
endif()

# The window a preview is handed, for the screen saver's end-to-end test under Wine.
add_executable(preview_parent_w32 ${CMAKE_CURRENT_SOURCE_DIR}/shell/preview_parent_w32.cpp)
target_link_libraries(preview_parent_w32 PRIVATE user32 gdi32)
