# libFuzzer targets (make fuzz): the knowledge-base file loader, the three word-associator files,
# document texts and seek texts. They exist only in a build configured with clang and
# -DVESKOR_FUZZ=ON (make fuzz uses build-fuzz/): there every module below them is compiled with
# libFuzzer's coverage, AddressSanitizer and UndefinedBehaviorSanitizer. The targets link the
# modules statically, the exported functions included.
option(VESKOR_FUZZ "Build the libFuzzer targets (needs clang)" OFF)
if(VESKOR_FUZZ)
  set(veskor_fuzz_flags -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined
      -fno-omit-frame-pointer)
  # GCC's warnings are the project's gate; clang's differ in taste (an empty vsnprintf format), so
  # here they stay warnings.
  foreach(module orlbasics veskortext veskorkernel veskorann veskorsearch veskorapi componentapi)
    target_compile_options(${module} PRIVATE ${veskor_fuzz_flags} -Wno-error)
  endforeach()

  function(veskor_fuzz_target name source)
    cmake_parse_arguments(F "" "" "DEFINES;DEPS" ${ARGN})
    add_executable(${name} ${CMAKE_SOURCE_DIR}/tests/fuzz/${source})
    target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests)
    target_compile_definitions(${name} PRIVATE ${F_DEFINES})
    target_compile_options(${name} PRIVATE ${VESKOR_WARNINGS} ${veskor_fuzz_flags})
    target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
    target_link_libraries(${name} PRIVATE ${F_DEPS})
  endfunction()

  veskor_fuzz_target(fuzz_kb_file kbFile_fuzz.cpp DEPS veskorkernel)
  veskor_fuzz_target(fuzz_wa_header waFile_fuzz.cpp DEFINES VESKOR_FUZZ_PART=0 DEPS veskorann)
  veskor_fuzz_target(fuzz_wa_network waFile_fuzz.cpp DEFINES VESKOR_FUZZ_PART=1 DEPS veskorann)
  veskor_fuzz_target(fuzz_wa_words waFile_fuzz.cpp DEFINES VESKOR_FUZZ_PART=2 DEPS veskorann)
  veskor_fuzz_target(fuzz_add_document addDocument_fuzz.cpp DEPS veskorapi componentapi)
  veskor_fuzz_target(fuzz_find find_fuzz.cpp DEPS veskorapi componentapi)

  # Writes the seed corpora (see tests/fuzz/writeSeeds.cpp).
  add_executable(fuzz_write_seeds ${CMAKE_SOURCE_DIR}/tests/fuzz/writeSeeds.cpp)
  target_include_directories(fuzz_write_seeds PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_compile_options(fuzz_write_seeds PRIVATE ${VESKOR_WARNINGS} -fsanitize=address,undefined)
  target_link_options(fuzz_write_seeds PRIVATE -fsanitize=address,undefined)
  target_link_libraries(fuzz_write_seeds PRIVATE veskorsearch)

  add_custom_target(fuzz_targets DEPENDS fuzz_kb_file fuzz_wa_header fuzz_wa_network fuzz_wa_words
    fuzz_add_document fuzz_find)
endif()
