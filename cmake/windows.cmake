# Cross build with mingw-w64: the DLL, its tools and the tests that run under Wine.
set(WARN_FLAGS -Wall -Wextra -Werror -Wno-cast-function-type)
set(WIN_LIBS gdiplus ole32 oleaut32 uuid shell32 shlwapi user32 gdi32 comctl32 uxtheme
    wininet version advapi32 psapi setupapi mscms)
add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX
  _WIN32_WINNT=0x0601 WINVER=0x0601 _WIN32_IE=0x0700)
# Only Windows system DLLs may be imported: the C/C++ runtime and threads are linked in.
set(STATIC_LINK -static -static-libgcc -static-libstdc++)

string(REGEX REPLACE "^[A-Za-z]+://([^/:]+).*$" "\\1" FRAMEWISE_BASE_HOST "${FRAMEWISE_BASE_URL}")
configure_file(resources/build_config.h.in ${CMAKE_BINARY_DIR}/generated/build_config.h @ONLY)
configure_file(resources/strings.rc.in ${CMAKE_BINARY_DIR}/generated/strings.rc @ONLY)

add_library(framewise_portable STATIC ${PORTABLE_SOURCES})
target_include_directories(framewise_portable PUBLIC ${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR}/generated)
target_compile_options(framewise_portable PRIVATE ${WARN_FLAGS})
target_compile_definitions(framewise_portable PUBLIC
  FRAMEWISE_BASE_URL_A="${FRAMEWISE_BASE_URL}")

# Product code that uses Windows: one library of objects per layer, each linking only the
# layers below it (scripts/check-layers.sh holds the includes to the same order). The DLL
# and the test programs take the same objects, so tests exercise exactly what ships.
set(FRAMEWISE_LAYERS framework widgets settings fitting shellext)
set(FRAMEWISE_CORE_OBJECTS)
set(layers_below)
foreach(layer ${FRAMEWISE_LAYERS})
  file(GLOB s CONFIGURE_DEPENDS ${layer}/*.cpp)
  list(REMOVE_ITEM s ${CMAKE_SOURCE_DIR}/shellext/dllmain.cpp)
  add_library(framewise_${layer} OBJECT ${s})
  target_include_directories(framewise_${layer} PUBLIC ${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR}/generated)
  target_compile_options(framewise_${layer} PRIVATE ${WARN_FLAGS})
  target_link_libraries(framewise_${layer} PUBLIC framewise_portable ${layers_below} ${WIN_LIBS})
  list(APPEND layers_below framewise_${layer})
  list(APPEND FRAMEWISE_CORE_OBJECTS $<TARGET_OBJECTS:framewise_${layer}>)
endforeach()
# Everything the product is, for the programs on top: the top layer and all below it.
add_library(framewise_core INTERFACE)
target_link_libraries(framewise_core INTERFACE framewise_shellext)

include(cmake/typelib.cmake)
include(cmake/resources.cmake)

add_library(Framewise SHARED shellext/dllmain.cpp ${FRAMEWISE_CORE_OBJECTS}
  ${FRAMEWISE_RC} ${CMAKE_SOURCE_DIR}/shellext/framewise.def)
set_target_properties(Framewise PROPERTIES PREFIX "" OUTPUT_NAME Framewise)
target_compile_options(Framewise PRIVATE ${WARN_FLAGS})
target_link_libraries(Framewise PRIVATE framewise_core ${WIN_LIBS})
target_link_options(Framewise PRIVATE ${STATIC_LINK} -Wl,--enable-stdcall-fixup)

# GoogleTest, cross-built from Debian's sources.
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
add_subdirectory(${GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

# The helpers shared by the tests, the tools and the benchmarks: stand-ins, import patches,
# files, resource counts, data objects and the loopback HTTP server.
file(GLOB TEST_SUPPORT CONFIGURE_DEPENDS tests/support/*.cpp)
add_library(framewise_test_support OBJECT ${TEST_SUPPORT})
target_compile_options(framewise_test_support PRIVATE ${WARN_FLAGS})
target_link_libraries(framewise_test_support PUBLIC framewise_core ${WIN_LIBS} ws2_32 ntdll)

# Tools: programs for people and for the tests.
file(GLOB TOOL_SOURCES CONFIGURE_DEPENDS tools/*.cpp)
foreach(src ${TOOL_SOURCES})
  get_filename_component(name ${src} NAME_WE)
  add_executable(${name} ${src} ${FRAMEWISE_CORE_OBJECTS}
    ${FRAMEWISE_RC})
  target_compile_options(${name} PRIVATE ${WARN_FLAGS})
  target_link_libraries(${name} PRIVATE framewise_test_support ${WIN_LIBS})
  target_link_options(${name} PRIVATE ${STATIC_LINK} -municode)
endforeach()

enable_testing()
find_program(FRAMEWISE_SYSTEM_PYTHON3 python3 PATHS /usr/bin NO_DEFAULT_PATH REQUIRED)
# How this machine runs the 32-bit programs (scripts/i386-mode.sh): natively where the
# kernel runs i386 code, else through qemu-user, which cannot carry every test.
set(FRAMEWISE_EMULATED OFF)
if(FRAMEWISE_ARCH STREQUAL "x86")
  execute_process(COMMAND bash ${CMAKE_SOURCE_DIR}/scripts/i386-mode.sh
    OUTPUT_VARIABLE i386_mode OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT i386_mode STREQUAL "native")
    set(FRAMEWISE_EMULATED ON)
  endif()
  message(STATUS "32-bit test programs run: ${i386_mode}")
endif()
# Every test program runs under Wine behind a watch that ends it, naming the running test,
# when it prints nothing for two minutes (ten under qemu, where a step takes seconds).
set(CMAKE_CROSSCOMPILING_EMULATOR ${FRAMEWISE_SYSTEM_PYTHON3} ${CMAKE_SOURCE_DIR}/scripts/quiet-watch.py
    ${CMAKE_SOURCE_DIR}/scripts/wine-exec.sh)
file(GLOB WINE_TESTS CONFIGURE_DEPENDS tests/wine/*.cpp)
add_executable(wine_tests ${WINE_TESTS} ${FRAMEWISE_CORE_OBJECTS}
  ${FRAMEWISE_RC})
target_include_directories(wine_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests/wine)
target_compile_definitions(wine_tests PRIVATE FRAMEWISE_TEST_BASE_URL=L"${FRAMEWISE_BASE_URL}"
  FRAMEWISE_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
target_compile_options(wine_tests PRIVATE -Wall -Wextra)
target_link_libraries(wine_tests PRIVATE framewise_test_support GTest::gtest ${WIN_LIBS} msi)
target_link_options(wine_tests PRIVATE ${STATIC_LINK})
add_dependencies(wine_tests Framewise)
set_target_properties(wine_tests PROPERTIES CROSSCOMPILING_EMULATOR "${CMAKE_CROSSCOMPILING_EMULATOR}")

# The whole suite in one process; the high-DPI cases need their own prefix setting, so
# they run separately.
set(WINE_ENV "FRAMEWISE_WINE_LOADER=${FRAMEWISE_WINE_LOADER}"
             "FRAMEWISE_DLL=$<TARGET_FILE:Framewise>"
             "FRAMEWISE_INPUTS=${CMAKE_BINARY_DIR}/inputs")
if(FRAMEWISE_EMULATED)
  # The suites size their loops by it: a step under qemu takes ten times as long.
  list(APPEND WINE_ENV "FRAMEWISE_EMULATED=1" "FRAMEWISE_QUIET_LIMIT=600")
endif()
# Pictures in the layouts cameras and programs write, generated when the tests run with
# the system's Python and its Pillow (scripts/make_inputs.py), never committed.
add_test(NAME test_inputs_${FRAMEWISE_ARCH}
  COMMAND ${FRAMEWISE_SYSTEM_PYTHON3} ${CMAKE_SOURCE_DIR}/scripts/make_inputs.py ${CMAKE_BINARY_DIR}/inputs)
set_tests_properties(test_inputs_${FRAMEWISE_ARCH} PROPERTIES FIXTURES_SETUP test_inputs_${FRAMEWISE_ARCH})
set(WINE_FILTER "-*Dpi120*")
if(FRAMEWISE_EMULATED)
  # Only on a machine without IA32 emulation: qemu-user's emulation of Wine's threads hangs
  # or crashes the process in tests that start threads of their own (the loopback server,
  # dialog drivers, racing threads), and each child process (regsvr32) costs a minute:
  # those run natively or on x64 only. The logic they cover is the same source.
  set(WINE_FILTER "-*Dpi120*:*Racing*:UpdateCheck*:AboutBoxTest.*:RegistrationTest.*:MenuTest.HelpOpens*:NewMenuTest.*:CommandLineTest.*")
  # Run once more when qemu itself fails (scripts/emulated-retry.sh), never on a test failure.
  # In the order written: under qemu a reordered run ends in the emulator's own failures.
  add_test(NAME wine_tests_${FRAMEWISE_ARCH}
    COMMAND bash ${CMAKE_SOURCE_DIR}/scripts/emulated-retry.sh 1400
      ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:wine_tests> --gtest_filter=${WINE_FILTER})
  set_tests_properties(wine_tests_${FRAMEWISE_ARCH} PROPERTIES ENVIRONMENT "${WINE_ENV}" TIMEOUT 3000
    FIXTURES_REQUIRED test_inputs_${FRAMEWISE_ARCH})
else()
  add_test(NAME wine_tests_${FRAMEWISE_ARCH} COMMAND wine_tests --gtest_filter=${WINE_FILTER} --gtest_shuffle)
  set_tests_properties(wine_tests_${FRAMEWISE_ARCH} PROPERTIES ENVIRONMENT "${WINE_ENV}" TIMEOUT 900
    FIXTURES_REQUIRED test_inputs_${FRAMEWISE_ARCH})
  add_test(NAME wine_tests_dpi120_${FRAMEWISE_ARCH} COMMAND wine_tests --gtest_filter=*Dpi120* --gtest_shuffle)
  set_tests_properties(wine_tests_dpi120_${FRAMEWISE_ARCH} PROPERTIES
    ENVIRONMENT "${WINE_ENV};FRAMEWISE_DPI=120" TIMEOUT 900)
endif()
# Windows PowerShell's stand-in for the sparse package's step, run by the Wine suite and
# the installer test.
add_executable(powershell_stand_in tests/install/powershell_stand_in.cpp framework/module_path.cpp)
target_include_directories(powershell_stand_in PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_options(powershell_stand_in PRIVATE -Wall -Wextra)
target_link_options(powershell_stand_in PRIVATE ${STATIC_LINK} -municode)
add_dependencies(wine_tests powershell_stand_in)
include(cmake/version_fixtures.cmake)
include(cmake/stress.cmake)

# The installer packages under Wine.
# scripts/package.sh builds the packages into package/ first; without them the test is
# skipped.
if(FRAMEWISE_ARCH STREQUAL "x64")
  set(FRAMEWISE_X86_DLL ${CMAKE_SOURCE_DIR}/build/i686/Framewise.dll CACHE FILEPATH
      "The x86 DLL for the package's upgrade test")
  add_executable(install_as_standard_user tests/install/install_as_standard_user.cpp)
  target_compile_options(install_as_standard_user PRIVATE -Wall -Wextra)
  target_link_libraries(install_as_standard_user PRIVATE msi)
  target_link_options(install_as_standard_user PRIVATE ${STATIC_LINK} -municode)
  add_test(NAME msi_x64 COMMAND bash ${CMAKE_SOURCE_DIR}/tests/install/msi_test.sh
           ${CMAKE_BINARY_DIR}/package $<TARGET_FILE:framewise_host> $<TARGET_FILE:Framewise>
           ${FRAMEWISE_X86_DLL} $<TARGET_FILE:install_as_standard_user>
           $<TARGET_FILE:powershell_stand_in>)
  set_tests_properties(msi_x64 PROPERTIES TIMEOUT 600 SKIP_RETURN_CODE 77
    ENVIRONMENT "FRAMEWISE_NATIVE_BUILD=${CMAKE_SOURCE_DIR}/build/native")
endif()

# The 32-bit package, where 32-bit programs run natively: installed, compared with the
# 32-bit regsvr32, used by a 32-bit client, upgraded and removed. The packages are built
# into the x64 tree's package/ by scripts/package.sh; without them the test is skipped.
if(FRAMEWISE_ARCH STREQUAL "x86" AND NOT FRAMEWISE_EMULATED)
  set(FRAMEWISE_X64_DLL ${CMAKE_SOURCE_DIR}/build/x86_64/Framewise.dll CACHE FILEPATH
      "The x64 DLL the packages were built with")
  get_filename_component(x64_tree ${FRAMEWISE_X64_DLL} DIRECTORY)
  add_test(NAME msi_x86 COMMAND bash ${CMAKE_SOURCE_DIR}/tests/install/msi_x86_test.sh
           ${x64_tree}/package $<TARGET_FILE:framewise_host> ${FRAMEWISE_X64_DLL} $<TARGET_FILE:Framewise>)
  set_tests_properties(msi_x86 PROPERTIES TIMEOUT 600 SKIP_RETURN_CODE 77
    ENVIRONMENT "FRAMEWISE_NATIVE_BUILD=${CMAKE_SOURCE_DIR}/build/native")
endif()

# Framewise.exe, the console front end the app package names as its executable: the
# product's objects and resources only.
add_executable(FramewiseCli tools/cli/framewise.cpp ${FRAMEWISE_CORE_OBJECTS} ${FRAMEWISE_RC})
set_target_properties(FramewiseCli PROPERTIES OUTPUT_NAME Framewise)
target_compile_options(FramewiseCli PRIVATE ${WARN_FLAGS})
target_link_libraries(FramewiseCli PRIVATE framewise_core ${WIN_LIBS})
target_link_options(FramewiseCli PRIVATE ${STATIC_LINK} -municode)
# The Wine suite runs the program beside the DLL: building the suite builds it.
add_dependencies(wine_tests FramewiseCli)
