# The type library: compiled from resources/framewise.idl with widl, embedded in the DLL
# as TYPELIB 1, plus a header that declares the interface for C++.
# The library is always in the 32-bit format; 64-bit processes load it as well.
set(FRAMEWISE_IDL ${CMAKE_SOURCE_DIR}/resources/framewise.idl)
set(FRAMEWISE_TLB ${CMAKE_BINARY_DIR}/generated/framewise.tlb)
set(FRAMEWISE_TLB_HEADER ${CMAKE_BINARY_DIR}/generated/framewise_h.h)
if(FRAMEWISE_ARCH STREQUAL "x86")
  set(WIDL_LIBRARY_DIR /usr/lib/i386-linux-gnu/wine/i386-windows)
else()
  set(WIDL_LIBRARY_DIR /usr/lib/x86_64-linux-gnu/wine/x86_64-windows)
endif()
set(WIDL_FLAGS --win32 -I/usr/include/wine/wine/windows -L ${WIDL_LIBRARY_DIR})

add_custom_command(
  OUTPUT ${FRAMEWISE_TLB} ${FRAMEWISE_TLB_HEADER}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/generated
  COMMAND ${FRAMEWISE_WIDL} ${WIDL_FLAGS} -t -o ${FRAMEWISE_TLB} ${FRAMEWISE_IDL}
  COMMAND ${FRAMEWISE_WIDL} ${WIDL_FLAGS} -h -H ${FRAMEWISE_TLB_HEADER} -o ${FRAMEWISE_TLB_HEADER}
          ${FRAMEWISE_IDL}
  DEPENDS ${FRAMEWISE_IDL}
  COMMENT "Compiling the type library"
  VERBATIM)
add_custom_target(framewise_typelib DEPENDS ${FRAMEWISE_TLB} ${FRAMEWISE_TLB_HEADER})
foreach(layer ${FRAMEWISE_LAYERS})
  add_dependencies(framewise_${layer} framewise_typelib)
endforeach()

# The resource script embeds the library and the registration scripts by file name, which
# the compiler's include scan does not see. Appended once the directory is processed,
# after the resource settings have been made.
set(FRAMEWISE_RC_INPUTS ${FRAMEWISE_TLB}
    ${CMAKE_SOURCE_DIR}/resources/appid.rgs
    ${CMAKE_SOURCE_DIR}/resources/imagefilecontextmenu.rgs)
cmake_language(DEFER CALL set_property SOURCE ${CMAKE_SOURCE_DIR}/resources/framewise.rc
  APPEND PROPERTY OBJECT_DEPENDS ${FRAMEWISE_RC_INPUTS})
