# vantry-get: the fetch command. Its option parsing, output and exit-code rules form a small library
# (tested without the network); the entry and the fetch over HttpMan sit on top.
file(GLOB VANTRY_GET_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/tools/*.cpp)
list(FILTER VANTRY_GET_SOURCES EXCLUDE REGEX "/vantry-get\\.cpp$")
if(VANTRY_GET_SOURCES)
  add_library(vantryget STATIC ${VANTRY_GET_SOURCES})
  target_link_libraries(vantryget PUBLIC vantry)
  target_compile_definitions(vantryget PRIVATE VANTRY_GET_VERSION="1.0.0")
  if(EXISTS ${CMAKE_SOURCE_DIR}/src/tools/vantry-get.cpp)
    add_executable(vantry-get ${CMAKE_SOURCE_DIR}/src/tools/vantry-get.cpp)
    target_link_libraries(vantry-get PRIVATE vantryget)
  endif()
  if(VANTRY_TESTS AND EXISTS ${CMAKE_SOURCE_DIR}/tests/tools/CMakeLists.txt)
    add_subdirectory(${CMAKE_SOURCE_DIR}/tests/tools ${CMAKE_BINARY_DIR}/tests/tools)
  endif()
endif()

# The benchmarks against curl run the built program.
foreach(bench VantryGetBench VantryGetStreamBench)
  if(TARGET ${bench} AND TARGET vantry-get)
    add_dependencies(${bench} vantry-get)
    target_compile_definitions(${bench} PRIVATE VANTRY_GET_PATH="$<TARGET_FILE:vantry-get>")
  endif()
endforeach()
