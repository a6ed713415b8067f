# Small DLLs with version resources of their own, beside wine_tests.exe: the version tests
# read them as they read the program's own module.
# Each row: name, product version (four parts), file flags, file flags mask. A name with
# no version parts gets no version resource at all.
set(VERSION_FIXTURES
  "v1_1_0_0 1 1 0 0 0x0 0x3F"
  "v2_0_3_0 2 0 3 0 0x2 0x3F"
  "v1_0_0_7 1 0 0 7 0x2 0x0"
  "v1_2_3_4 1 2 3 4 0x0 0x2"
  "v40000 40000 1 0 0 0x0 0x3F"
  "none")
set(VERSION_FIXTURE_DIR ${CMAKE_BINARY_DIR}/generated/version_fixtures)
file(MAKE_DIRECTORY ${VERSION_FIXTURE_DIR})
set(VERSION_FIXTURE_TARGETS)
foreach(row ${VERSION_FIXTURES})
  separate_arguments(fields UNIX_COMMAND "${row}")
  list(GET fields 0 name)
  set(sources ${CMAKE_SOURCE_DIR}/tests/fixtures/version_dll.c)
  list(LENGTH fields count)
  if(count EQUAL 7)
    list(GET fields 1 a)
    list(GET fields 2 b)
    list(GET fields 3 c)
    list(GET fields 4 d)
    list(GET fields 5 flags)
    list(GET fields 6 mask)
    # The file version differs from the product version: only the latter may be read.
    file(WRITE ${VERSION_FIXTURE_DIR}/${name}.rc.in
"#include <winver.h>
1 VERSIONINFO
 FILEVERSION 9, 8, 7, 6
 PRODUCTVERSION ${a}, ${b}, ${c}, ${d}
 FILEFLAGSMASK ${mask}
 FILEFLAGS ${flags}
 FILEOS VOS_NT_WINDOWS32
 FILETYPE VFT_DLL
 FILESUBTYPE 0
BEGIN
  BLOCK \"VarFileInfo\"
  BEGIN
    VALUE \"Translation\", 0x409, 1200
  END
END
")
    configure_file(${VERSION_FIXTURE_DIR}/${name}.rc.in ${VERSION_FIXTURE_DIR}/${name}.rc COPYONLY)
    list(APPEND sources ${VERSION_FIXTURE_DIR}/${name}.rc)
  endif()
  add_library(version_fixture_${name} SHARED ${sources})
  set_target_properties(version_fixture_${name} PROPERTIES PREFIX ""
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
  target_link_options(version_fixture_${name} PRIVATE -static)
  list(APPEND VERSION_FIXTURE_TARGETS version_fixture_${name})
endforeach()
add_dependencies(wine_tests ${VERSION_FIXTURE_TARGETS})

# A WIC decoder of its own (tests/fixtures/stand_in_decoder/), beside wine_tests.exe: the
# format tests register it in the prefix for formats Wine has no decoder of.
add_library(stand_in_decoder SHARED tests/fixtures/stand_in_decoder/stand_in_decoder.cpp
  tests/fixtures/stand_in_decoder/stand_in_decoder.def)
set_target_properties(stand_in_decoder PROPERTIES PREFIX "" RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
target_compile_options(stand_in_decoder PRIVATE -Wall -Wextra)
target_link_libraries(stand_in_decoder PRIVATE ole32 uuid)
target_link_options(stand_in_decoder PRIVATE ${STATIC_LINK} -Wl,--enable-stdcall-fixup)
add_dependencies(wine_tests stand_in_decoder)
