# The DLL's resources: strings, dialogs, bitmaps, registration scripts, type library
# and version information.
set(FRAMEWISE_RC ${CMAKE_SOURCE_DIR}/resources/framewise.rc)
set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -I${CMAKE_BINARY_DIR}/generated -I${CMAKE_SOURCE_DIR}/resources -I${CMAKE_SOURCE_DIR}")
set_source_files_properties(${FRAMEWISE_RC} PROPERTIES OBJECT_DEPENDS
  "${CMAKE_BINARY_DIR}/generated/build_config.h;${CMAKE_BINARY_DIR}/generated/strings.rc;${CMAKE_SOURCE_DIR}/resources/resource_ids.h;${CMAKE_SOURCE_DIR}/resources/about_dialog.rc;${CMAKE_SOURCE_DIR}/resources/icons.rc;${CMAKE_SOURCE_DIR}/resources/registration.rc")
