# Finds libwebp and defines the imported target WebP::webp.
# Uses pkg-config when available, else searches CMAKE_PREFIX_PATH.
find_package(PkgConfig QUIET)
if(PKG_CONFIG_FOUND)
  pkg_check_modules(PC_WEBP QUIET libwebp)
endif()

find_path(WebP_INCLUDE_DIR NAMES webp/decode.h HINTS ${PC_WEBP_INCLUDE_DIRS})
find_library(WebP_LIBRARY NAMES webp libwebp HINTS ${PC_WEBP_LIBRARY_DIRS})
# Static libwebp needs libsharpyuv, which newer releases split out.
find_library(WebP_SHARPYUV_LIBRARY NAMES sharpyuv libsharpyuv HINTS ${PC_WEBP_LIBRARY_DIRS})

include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(WebP REQUIRED_VARS WebP_LIBRARY WebP_INCLUDE_DIR)

if(WebP_FOUND AND NOT TARGET WebP::webp)
  add_library(WebP::webp UNKNOWN IMPORTED)
  set_target_properties(WebP::webp PROPERTIES
    IMPORTED_LOCATION "${WebP_LIBRARY}"
    INTERFACE_INCLUDE_DIRECTORIES "${WebP_INCLUDE_DIR}")
  if(WebP_SHARPYUV_LIBRARY)
    set_property(TARGET WebP::webp APPEND PROPERTY INTERFACE_LINK_LIBRARIES "${WebP_SHARPYUV_LIBRARY}")
  endif()
  if(UNIX)
    set_property(TARGET WebP::webp APPEND PROPERTY INTERFACE_LINK_LIBRARIES m)
  endif()
endif()
mark_as_advanced(WebP_INCLUDE_DIR WebP_LIBRARY WebP_SHARPYUV_LIBRARY)
