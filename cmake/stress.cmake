# Reliability suites under Wine (a hostile-picture corpus, a soak, threads and unloading)
# and the benchmark program. The suites reach the built DLL through its exports only.
file(GLOB STRESS_SOURCES CONFIGURE_DEPENDS tests/stress/*.cpp)
list(SORT STRESS_SOURCES)  # the suite order: corpus, main, soak, support, threads
add_executable(stress_tests ${STRESS_SOURCES}
  ${FRAMEWISE_CORE_OBJECTS} ${FRAMEWISE_RC})
target_include_directories(stress_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests/stress)
target_compile_options(stress_tests PRIVATE -Wall -Wextra)
target_link_libraries(stress_tests PRIVATE framewise_test_support GTest::gtest ${WIN_LIBS})
target_link_options(stress_tests PRIVATE ${STATIC_LINK})
add_dependencies(stress_tests Framewise)
set_target_properties(stress_tests PROPERTIES CROSSCOMPILING_EMULATOR "${CMAKE_CROSSCOMPILING_EMULATOR}")

# Benchmarks: built in every configuration so they keep compiling; run by bench/run_bench.py.
file(GLOB BENCH_SOURCES CONFIGURE_DEPENDS bench/*.cpp)
foreach(src ${BENCH_SOURCES})
  get_filename_component(name ${src} NAME_WE)
  add_executable(${name} ${src}
    ${FRAMEWISE_CORE_OBJECTS} ${FRAMEWISE_RC})
  target_compile_options(${name} PRIVATE ${WARN_FLAGS})
  target_link_libraries(${name} PRIVATE framewise_test_support ${WIN_LIBS})
  target_link_options(${name} PRIVATE ${STATIC_LINK} -municode)
  add_dependencies(${name} Framewise)
endforeach()

# The corpus is generated into the build tree when the tests run, never committed.
find_program(FRAMEWISE_PYTHON3 python3 REQUIRED)
add_test(NAME stress_corpus_${FRAMEWISE_ARCH}
  COMMAND ${FRAMEWISE_PYTHON3} ${CMAKE_SOURCE_DIR}/scripts/make_corpus.py ${CMAKE_BINARY_DIR}/corpus)
set_tests_properties(stress_corpus_${FRAMEWISE_ARCH} PROPERTIES FIXTURES_SETUP stress_corpus_${FRAMEWISE_ARCH})
if(NOT FRAMEWISE_EMULATED)
  # The quick forms, in one process, with the whole corpus on both architectures.
  add_test(NAME stress_tests_${FRAMEWISE_ARCH} COMMAND stress_tests --gtest_shuffle)
  set_tests_properties(stress_tests_${FRAMEWISE_ARCH} PROPERTIES ENVIRONMENT "${WINE_ENV}"
    FIXTURES_REQUIRED stress_corpus_${FRAMEWISE_ARCH} TIMEOUT 900)
else()
  # On a machine without IA32 emulation the 32-bit short form runs through qemu-user,
  # which carries no second thread in a Wine process (the thread suites die or stall there):
  # a sample of the corpus and a short soak in one process, run once more when the emulator
  # rather than the program failed.
  add_test(NAME stress_tests_${FRAMEWISE_ARCH}
    COMMAND bash ${CMAKE_SOURCE_DIR}/scripts/emulated-retry.sh 600
      ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:stress_tests>
      --gtest_filter=CorpusTest.Hostile*:SoakTest.*)
  set_tests_properties(stress_tests_${FRAMEWISE_ARCH} PROPERTIES ENVIRONMENT "${WINE_ENV}"
    FIXTURES_REQUIRED stress_corpus_${FRAMEWISE_ARCH} TIMEOUT 2000)
endif()
