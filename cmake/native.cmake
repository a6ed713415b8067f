# Native build: the platform-free logic and its tests, under sanitizers.
set(SAN_FLAGS)
if(FRAMEWISE_SANITIZE)
  set(SAN_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  # The standard containers check their indexes too: a read one past a vector's end stops
  # the test, where the address checker would let it pass inside the vector's spare room.
  add_compile_definitions(_GLIBCXX_ASSERTIONS)
endif()

add_library(framewise_portable STATIC ${PORTABLE_SOURCES})
target_include_directories(framewise_portable PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(framewise_portable PRIVATE -Wall -Wextra -Werror ${SAN_FLAGS})
target_compile_definitions(framewise_portable PUBLIC
  FRAMEWISE_BASE_URL_A="${FRAMEWISE_BASE_URL}")
target_link_options(framewise_portable PUBLIC ${SAN_FLAGS})

set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(${GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

enable_testing()
file(GLOB NATIVE_TESTS CONFIGURE_DEPENDS tests/native/*.cpp)
add_executable(native_tests ${NATIVE_TESTS})
target_compile_options(native_tests PRIVATE -Wall -Wextra ${SAN_FLAGS})
target_link_libraries(native_tests PRIVATE framewise_portable GTest::gtest_main)
# Where the tests find their fixture files (tests/fixtures/), made by real tools.
target_compile_definitions(native_tests PRIVATE FRAMEWISE_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
add_test(NAME native_tests COMMAND native_tests)

# Fuzz targets over the text parsers, built when clang with libFuzzer is the compiler.
file(GLOB FUZZ_TARGETS CONFIGURE_DEPENDS tests/fuzz/*.cpp)
if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  foreach(src ${FUZZ_TARGETS})
    get_filename_component(name ${src} NAME_WE)
    add_executable(${name} ${src})
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_libraries(${name} PRIVATE framewise_portable)
  endforeach()
else()
  # Without libFuzzer each target still runs over a fixed set of generated inputs.
  foreach(src ${FUZZ_TARGETS})
    get_filename_component(name ${src} NAME_WE)
    add_executable(${name} ${src} tests/fuzz/driver/standalone_main.cc)
    target_compile_options(${name} PRIVATE ${SAN_FLAGS})
    target_link_libraries(${name} PRIVATE framewise_portable)
    add_test(NAME ${name} COMMAND ${name})
  endforeach()
endif()

# The installer's registry rows, made from the registration scripts on the build machine.
add_library(framewise_installer STATIC installer/registry_rows.cpp)
target_include_directories(framewise_installer PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(framewise_installer PRIVATE -Wall -Wextra -Werror ${SAN_FLAGS})
target_link_libraries(framewise_installer PUBLIC framewise_portable)
add_executable(registry_wix installer/registry_wix.cpp)
target_compile_options(registry_wix PRIVATE -Wall -Wextra -Werror ${SAN_FLAGS})
target_link_libraries(registry_wix PRIVATE framewise_installer)
target_link_libraries(native_tests PRIVATE framewise_installer)
# The sparse package's manifest from its template and the facts' own homes.
add_executable(package_manifest installer/package_manifest.cpp)
target_compile_options(package_manifest PRIVATE -Wall -Wextra -Werror ${SAN_FLAGS})
target_link_libraries(package_manifest PRIVATE framewise_portable)
# The package builder (scripts/msix.py) with the system's Python, which has the certificate
# reader it uses.
find_program(FRAMEWISE_SYSTEM_PYTHON3 python3 PATHS /usr/bin NO_DEFAULT_PATH REQUIRED)
add_test(NAME msix_packer COMMAND ${FRAMEWISE_SYSTEM_PYTHON3} ${CMAKE_SOURCE_DIR}/tests/package/msix_test.py)
# The test harness's own scripts: the quiet watch and the i386 probe.
add_test(NAME harness_scripts COMMAND ${FRAMEWISE_SYSTEM_PYTHON3} ${CMAKE_SOURCE_DIR}/tests/scripts/test_harness_test.py)
# Profiles built from coded colour descriptions, used by lcms2 (through Pillow) and compared
# with published conversions and with real profiles of the same spaces.
add_executable(write_nclx_profiles tests/colour/write_nclx_profiles.cpp)
target_compile_options(write_nclx_profiles PRIVATE -Wall -Wextra -Werror ${SAN_FLAGS})
target_link_libraries(write_nclx_profiles PRIVATE framewise_portable)
add_test(NAME colour_profiles_lcms COMMAND ${FRAMEWISE_SYSTEM_PYTHON3}
  ${CMAKE_SOURCE_DIR}/tests/colour/lcms_check.py $<TARGET_FILE:write_nclx_profiles>)
add_test(NAME mutant_generator COMMAND ${FRAMEWISE_SYSTEM_PYTHON3} ${CMAKE_SOURCE_DIR}/tests/scripts/mutants_test.py)
