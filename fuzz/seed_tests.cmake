# CTest builds the fuzz harnesses (fuzz/, with clang) and runs each on its
# seed corpus for a few seconds. Skipped, and said so, without clang.
set(VELDRIX_FUZZ_BUILD ${CMAKE_BINARY_DIR}/fuzz)
add_test(NAME fuzz_build
         COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/run_seeds.sh build ${PROJECT_SOURCE_DIR} ${VELDRIX_FUZZ_BUILD})
set_tests_properties(fuzz_build PROPERTIES FIXTURES_SETUP fuzz_harnesses SKIP_RETURN_CODE 77 TIMEOUT 3600)
file(GLOB harness_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/fuzz_*.cpp)
foreach(source ${harness_sources})
  get_filename_component(harness ${source} NAME_WE)
  string(REGEX REPLACE "^fuzz_" "" harness ${harness})
  add_test(NAME fuzz_seeds_${harness}
           COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/run_seeds.sh run ${VELDRIX_FUZZ_BUILD} ${harness}
                   ${CMAKE_CURRENT_LIST_DIR}/corpus/${harness} 5)
  set_tests_properties(fuzz_seeds_${harness} PROPERTIES FIXTURES_REQUIRED fuzz_harnesses SKIP_RETURN_CODE 77
                       TIMEOUT 300)
endforeach()
