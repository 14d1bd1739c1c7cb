# Builds a tiny outside project that adds the repository with add_subdirectory and links
# fxengine. Run with cmake -P; VANTREL_ROOT, WORK, GENERATOR and COMPILER come from the caller.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/src)
file(WRITE ${WORK}/src/CMakeLists.txt "
cmake_minimum_required(VERSION 3.22)
project(Consumer LANGUAGES C CXX)
add_subdirectory(\"${VANTREL_ROOT}\" vantrel)
add_executable(consumer main.cpp)
target_link_libraries(consumer PRIVATE fxengine)
")
file(WRITE ${WORK}/src/main.cpp "
#include <cstring>
#include \"base/paths.h\"
#include \"base/strings.h\"
#include \"render/gl.h\"
int main() {
    FXStr s;
    s.Set(fxCombinePaths(\"a/b\", \"../c.txt\"));
    FXGL device;
    return strcmp(s.chars, \"a/c.txt\") == 0 ? 0 : 1;
}
")
execute_process(COMMAND ${CMAKE_COMMAND} -S ${WORK}/src -B ${WORK}/out -G ${GENERATOR}
                        -DCMAKE_CXX_COMPILER=${COMPILER} -DCMAKE_BUILD_TYPE=Debug
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "configuring the outside project failed")
endif()
if(EXISTS ${WORK}/out/vantrel/tests)
    message(FATAL_ERROR "the engine's tests were configured inside another project")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${WORK}/out -j 2 --target consumer RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "building the outside project failed")
endif()
execute_process(COMMAND ${WORK}/out/consumer RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "the outside program linked against fxengine did not run correctly")
endif()
