# The About box on Win32 (TfrmAbout) with its dialog resource. Safe to
# include once from anywhere; a program that uses it links
# pagimor_about_win32 and, for its layout, pagimor_about_win32_layout.
include_guard(GLOBAL)

set(_about_win32_dir ${CMAKE_CURRENT_LIST_DIR})

add_library(pagimor_about_win32 STATIC ${_about_win32_dir}/vxweb2.cc)
target_include_directories(pagimor_about_win32 PUBLIC ${_about_win32_dir}/../..)
target_link_libraries(pagimor_about_win32 PUBLIC pagimor_core PRIVATE pagimor_warnings)

# Linked as objects: a resource in a static library would never be pulled
# into the program.
add_library(pagimor_about_win32_layout OBJECT ${_about_win32_dir}/vxweb2.rc)
target_include_directories(pagimor_about_win32_layout PRIVATE ${_about_win32_dir})
set_source_files_properties(${_about_win32_dir}/vxweb2.rc PROPERTIES OBJECT_DEPENDS
  "${_about_win32_dir}/vxweb2_resource.h;${_about_win32_dir}/vxweb2.ico;${_about_win32_dir}/BitBtn1.ico")
