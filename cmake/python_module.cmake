# The Python module: the same library, position-independent, as one extension
# file with its type stub beside it. Built when Python's headers, numpy and
# pybind11 are all found; otherwise one line says so and the rest builds as before.

# An interpreter does not load a module built with the sanitizers' runtimes, nor
# one built for another system.
if(PHASE_BOUNDARY_SANITIZE OR PHASE_BOUNDARY_FUZZ OR CMAKE_CROSSCOMPILING)
  message(STATUS "The Python module is not built in a sanitized, fuzzing or cross build")
  return()
endif()

# Debian's python3 is the one its python3-numpy and python3-pytest serve; a
# Python of a version manager earlier on PATH often has neither.
if(NOT DEFINED Python3_EXECUTABLE AND EXISTS /usr/bin/python3)
  set(Python3_EXECUTABLE /usr/bin/python3)
endif()
find_package(Python3 QUIET COMPONENTS Interpreter Development.Module)
if(Python3_FOUND)
  find_package(pybind11 CONFIG QUIET)
  execute_process(COMMAND ${Python3_EXECUTABLE} -c "import numpy"
                  RESULT_VARIABLE numpy_missing OUTPUT_QUIET ERROR_QUIET)
endif()
if(NOT Python3_FOUND OR NOT pybind11_FOUND OR numpy_missing)
  message(STATUS "Python 3 headers, numpy or pybind11 not found: the Python module is not built "
                 "(Debian: python3-dev python3-numpy pybind11-dev)")
  return()
endif()

set_target_properties(phase_core PROPERTIES POSITION_INDEPENDENT_CODE ON)
pybind11_add_module(phase_boundary_python MODULE NO_EXTRAS
  src/python/module.cpp
  src/python/conversions.cpp
  src/python/results.cpp
  src/python/python_errors.cpp)
set_target_properties(phase_boundary_python PROPERTIES OUTPUT_NAME phase_boundary
  LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/python)
target_link_libraries(phase_boundary_python PRIVATE phase_core)
target_compile_definitions(phase_boundary_python PRIVATE PHASE_BOUNDARY_VERSION="${PROJECT_VERSION}")
configure_file(src/python/phase_boundary.pyi ${CMAKE_BINARY_DIR}/python/phase_boundary.pyi COPYONLY)

# Beside the Python's other modules under the prefix: lib/python3.X/dist-packages
# for Debian's Python (on its path for /usr and /usr/local), site-packages for others.
if(Python3_SITEARCH MATCHES "dist-packages")
  set(python_packages dist-packages)
else()
  set(python_packages site-packages)
endif()
set(PHASE_BOUNDARY_PYTHON_DIR
    lib/python${Python3_VERSION_MAJOR}.${Python3_VERSION_MINOR}/${python_packages}
    CACHE STRING "Where under the prefix the Python module is installed")
install(TARGETS phase_boundary_python LIBRARY DESTINATION ${PHASE_BOUNDARY_PYTHON_DIR})
install(FILES src/python/phase_boundary.pyi DESTINATION ${PHASE_BOUNDARY_PYTHON_DIR})
set(PHASE_BOUNDARY_PYTHON_BUILT ON)
# The package's module needs the Python it was built for, and numpy.
math(EXPR python_next_minor "${Python3_VERSION_MINOR} + 1")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "python3 (>= ${Python3_VERSION_MAJOR}.${Python3_VERSION_MINOR}), \
python3 (<< ${Python3_VERSION_MAJOR}.${python_next_minor}), python3-numpy")
