# The About box (TfrmAbout) with its layout compiled in. Included by this
# folder's CMakeLists.txt; safe to include once from anywhere.
include_guard(GLOBAL)

find_program(GLIB_COMPILE_RESOURCES glib-compile-resources REQUIRED)

set(_about_dir ${CMAKE_CURRENT_LIST_DIR})
set(_about_out ${CMAKE_BINARY_DIR}/about)
set(_about_xml ${_about_out}/about.gresource.xml)
set(_about_c ${_about_out}/about_resources.c)
file(MAKE_DIRECTORY ${_about_out})
file(WRITE ${_about_xml}.in [=[<?xml version="1.0" encoding="UTF-8"?>
<gresources>
  <gresource prefix="/org/pagimor/about">
    <file preprocess="xml-stripblanks">vxweb2.ui</file>
  </gresource>
</gresources>
]=])
configure_file(${_about_xml}.in ${_about_xml} COPYONLY)

add_custom_command(
  OUTPUT ${_about_c}
  COMMAND ${GLIB_COMPILE_RESOURCES} --generate-source --c-name pagimor_about
          --sourcedir=${_about_dir} --target=${_about_c} ${_about_xml}
  DEPENDS ${_about_xml} ${_about_dir}/vxweb2.ui
  COMMENT "Compiling the About box's layout")

# Generated code: compiled without our warning set.
add_library(pagimor_about_resources OBJECT ${_about_c})
target_link_libraries(pagimor_about_resources PRIVATE PkgConfig::GTK3)

add_library(pagimor_about STATIC ${_about_dir}/vxweb2.cc $<TARGET_OBJECTS:pagimor_about_resources>)
target_include_directories(pagimor_about PUBLIC ${_about_dir}/../..)
target_link_libraries(pagimor_about PUBLIC PkgConfig::GTK3 PRIVATE pagimor_warnings)
