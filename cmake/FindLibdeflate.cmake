# Finds libdeflate and defines the imported target Libdeflate::libdeflate.
# Uses pkg-config when available, else searches CMAKE_PREFIX_PATH.
find_package(PkgConfig QUIET)
if(PKG_CONFIG_FOUND)
  pkg_check_modules(PC_LIBDEFLATE QUIET libdeflate)
endif()

find_path(Libdeflate_INCLUDE_DIR NAMES libdeflate.h HINTS ${PC_LIBDEFLATE_INCLUDE_DIRS})
find_library(Libdeflate_LIBRARY NAMES deflate libdeflate HINTS ${PC_LIBDEFLATE_LIBRARY_DIRS})

include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(Libdeflate REQUIRED_VARS Libdeflate_LIBRARY Libdeflate_INCLUDE_DIR)

if(Libdeflate_FOUND AND NOT TARGET Libdeflate::libdeflate)
  add_library(Libdeflate::libdeflate UNKNOWN IMPORTED)
  set_target_properties(Libdeflate::libdeflate PROPERTIES
    IMPORTED_LOCATION "${Libdeflate_LIBRARY}"
    INTERFACE_INCLUDE_DIRECTORIES "${Libdeflate_INCLUDE_DIR}")
endif()
mark_as_advanced(Libdeflate_INCLUDE_DIR Libdeflate_LIBRARY)
