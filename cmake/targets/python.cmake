# The Python package veskor: the binding module veskor._core (pybind11) and the package's Python
# files, assembled in build/python so that PYTHONPATH=build/python finds the package; its pytest
# suite and its install test under ctest; cmake --install puts it where that Python looks under the
# prefix. python/setup.py (pip) builds the module through this file as well.
option(VESKOR_PYTHON "Build the Python package" ON)
if(NOT VESKOR_PYTHON)
  return()
endif()

# Debian's interpreter, not whichever python3 comes first on the PATH.
if(NOT DEFINED Python_EXECUTABLE AND EXISTS /usr/bin/python3)
  set(Python_EXECUTABLE /usr/bin/python3 CACHE FILEPATH "The Python the package is built for")
endif()
find_package(Python 3.9 REQUIRED COMPONENTS Interpreter Development.Module)
find_package(pybind11 2.10 CONFIG REQUIRED)
# Sharded knowledge bases: the manifest code it shares with the veskor tool reads JSON.
find_package(nlohmann_json 3 CONFIG REQUIRED)

set(veskor_python_build_dir ${CMAKE_BINARY_DIR}/python/veskor)

file(GLOB veskor_python_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/python/src/*.cpp)
pybind11_add_module(veskor_python MODULE NO_EXTRAS ${veskor_python_sources})
set_target_properties(veskor_python PROPERTIES OUTPUT_NAME _core LIBRARY_OUTPUT_DIRECTORY ${veskor_python_build_dir})
target_compile_options(veskor_python PRIVATE ${VESKOR_WARNINGS})
# veskoreng brings include/ and nothing of src/: the binding is a client of the public API.
target_link_libraries(veskor_python PRIVATE veskoreng nlohmann_json::nlohmann_json)

# The package's Python files beside the module, copied again whenever one changes.
file(GLOB veskor_python_files CONFIGURE_DEPENDS LIST_DIRECTORIES false
  ${CMAKE_SOURCE_DIR}/python/veskor/*.py ${CMAKE_SOURCE_DIR}/python/veskor/*.pyi
  ${CMAKE_SOURCE_DIR}/python/veskor/py.typed)
set(veskor_python_copies)
foreach(file IN LISTS veskor_python_files)
  get_filename_component(name ${file} NAME)
  add_custom_command(OUTPUT ${veskor_python_build_dir}/${name}
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${file} ${veskor_python_build_dir}/${name}
    DEPENDS ${file})
  list(APPEND veskor_python_copies ${veskor_python_build_dir}/${name})
endforeach()
add_custom_target(veskor_python_files ALL DEPENDS ${veskor_python_copies})
add_dependencies(veskor_python veskor_python_files)

# Installed under the prefix as that Python lays out its own (lib/python3.X/dist-packages on
# Debian, which /usr/local puts on its path). The module finds the engine in the prefix's lib
# directory, or beside itself where pip bundles the two.
execute_process(COMMAND ${Python_EXECUTABLE} -c
  "import os, sysconfig; p = sysconfig.get_path('platlib').split(os.sep); print('/'.join(p[p.index('lib'):]))"
  OUTPUT_VARIABLE veskor_python_site OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
set(VESKOR_PYTHON_INSTALL_DIR ${veskor_python_site} CACHE STRING "Where the package goes, relative to the prefix")
include(GNUInstallDirs)
file(RELATIVE_PATH veskor_python_to_lib ${CMAKE_INSTALL_PREFIX}/${VESKOR_PYTHON_INSTALL_DIR}/veskor
  ${CMAKE_INSTALL_FULL_LIBDIR})
set_target_properties(veskor_python PROPERTIES INSTALL_RPATH "$ORIGIN;$ORIGIN/${veskor_python_to_lib}")
install(TARGETS veskor_python LIBRARY DESTINATION ${VESKOR_PYTHON_INSTALL_DIR}/veskor COMPONENT python)
install(FILES ${veskor_python_files} DESTINATION ${VESKOR_PYTHON_INSTALL_DIR}/veskor COMPONENT python)

# The pytest suite, run by the interpreter the module was built for. Nothing may be written into
# the source tree: no byte code, no pytest cache.
set(veskor_python_test_env PYTHONPATH=${CMAKE_BINARY_DIR}/python PYTHONDONTWRITEBYTECODE=1
  VESKOR_BIN_DIR=$<TARGET_FILE_DIR:veskor> VESKOR_SOURCE_DIR=${CMAKE_SOURCE_DIR})
if(VESKOR_SANITIZE STREQUAL "")
  add_test(NAME python_tests COMMAND ${CMAKE_COMMAND} -E env ${veskor_python_test_env}
    ${Python_EXECUTABLE} -m pytest -q -p no:cacheprovider ${CMAKE_SOURCE_DIR}/tests/python)
  set_tests_properties(python_tests PROPERTIES TIMEOUT 900)
elseif(VESKOR_SANITIZE STREQUAL "address" AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  # The interpreter is not built with AddressSanitizer: its runtime is preloaded (with libstdc++,
  # whose exceptions it intercepts). Leak checking stays off: CPython does not free everything at
  # exit, and LeakSanitizer cannot stop the world in the forked children of a threaded process.
  # ThreadSanitizer cannot be preloaded into an interpreter that way; thread builds skip the suite.
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libasan.so OUTPUT_VARIABLE veskor_libasan
    OUTPUT_STRIP_TRAILING_WHITESPACE)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libstdc++.so OUTPUT_VARIABLE veskor_libstdcxx
    OUTPUT_STRIP_TRAILING_WHITESPACE)
  add_test(NAME python_tests COMMAND ${CMAKE_COMMAND} -E env ${veskor_python_test_env}
    "LD_PRELOAD=${veskor_libasan} ${veskor_libstdcxx}" PYTHONMALLOC=malloc
    ASAN_OPTIONS=detect_leaks=0:abort_on_error=1:allocator_may_return_null=1
    ${Python_EXECUTABLE} -m pytest -q -p no:cacheprovider ${CMAKE_SOURCE_DIR}/tests/python)
  set_tests_properties(python_tests PROPERTIES TIMEOUT 1800)
endif()

# The C loop that bench/python_bench.py measures the package against, in the same process.
add_library(python_bench_c SHARED ${CMAKE_SOURCE_DIR}/bench/python_bench_c.c)
target_compile_options(python_bench_c PRIVATE -Wall -Wextra -Wpedantic -Werror)
target_link_libraries(python_bench_c PRIVATE veskoreng)

# Installing the package with cmake --install and with pip; as for the C install test, only plain
# builds run it.
if(VESKOR_SANITIZE STREQUAL "")
  add_test(NAME python_install COMMAND bash ${CMAKE_SOURCE_DIR}/tests/install/python.sh ${CMAKE_BINARY_DIR}
    ${Python_EXECUTABLE})
  set_tests_properties(python_install PROPERTIES TIMEOUT 900)
endif()
