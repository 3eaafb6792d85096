# Finds the OpenCV modules asked for as COMPONENTS from their own development
# files (Debian's libopencv-<module>-dev), without OpenCV's CMake package, which
# only the umbrella libopencv-dev ships and which names every module there is.
#
#   find_package(OpenCVComponents REQUIRED COMPONENTS core imgcodecs highgui)
#
# Defines one imported target per component, named as OpenCV's own package
# names them (opencv_core, opencv_imgcodecs, ...), so targets link the same
# names whichever way OpenCV was found. Every target carries the include
# directory and links opencv_core. Sets OpenCVComponents_FOUND and
# OpenCVComponents_INCLUDE_DIR.

find_path(OpenCVComponents_INCLUDE_DIR opencv2/core.hpp PATH_SUFFIXES opencv4)
mark_as_advanced(OpenCVComponents_INCLUDE_DIR)

set(_ocvc_required_vars OpenCVComponents_INCLUDE_DIR)
foreach(_ocvc_component IN LISTS OpenCVComponents_FIND_COMPONENTS)
  # On Windows OpenCV's libraries carry its version: opencv_core460.
  find_library(OpenCVComponents_${_ocvc_component}_LIBRARY
               NAMES opencv_${_ocvc_component} opencv_${_ocvc_component}460)
  mark_as_advanced(OpenCVComponents_${_ocvc_component}_LIBRARY)
  # A module's header tells its -dev package is there, not only its library.
  if(OpenCVComponents_INCLUDE_DIR
     AND OpenCVComponents_${_ocvc_component}_LIBRARY
     AND EXISTS "${OpenCVComponents_INCLUDE_DIR}/opencv2/${_ocvc_component}.hpp")
    set(OpenCVComponents_${_ocvc_component}_FOUND TRUE)
  else()
    set(OpenCVComponents_${_ocvc_component}_FOUND FALSE)
  endif()
  if(OpenCVComponents_FIND_REQUIRED_${_ocvc_component})
    list(APPEND _ocvc_required_vars OpenCVComponents_${_ocvc_component}_LIBRARY)
  endif()
endforeach()

include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(OpenCVComponents
  REQUIRED_VARS ${_ocvc_required_vars}
  HANDLE_COMPONENTS)

if(OpenCVComponents_FOUND)
  foreach(_ocvc_component IN LISTS OpenCVComponents_FIND_COMPONENTS)
    set(_ocvc_target opencv_${_ocvc_component})
    if(NOT OpenCVComponents_${_ocvc_component}_FOUND OR TARGET ${_ocvc_target})
      continue()
    endif()
    add_library(${_ocvc_target} UNKNOWN IMPORTED)
    set_target_properties(${_ocvc_target} PROPERTIES
      IMPORTED_LOCATION "${OpenCVComponents_${_ocvc_component}_LIBRARY}"
      INTERFACE_INCLUDE_DIRECTORIES "${OpenCVComponents_INCLUDE_DIR}")
    if(NOT _ocvc_component STREQUAL "core")
      set_property(TARGET ${_ocvc_target} APPEND PROPERTY INTERFACE_LINK_LIBRARIES opencv_core)
    endif()
  endforeach()
endif()

unset(_ocvc_component)
unset(_ocvc_target)
unset(_ocvc_required_vars)
