# Shared build settings and the two helpers every module uses.

set(KES_WARNINGS -Wall -Wextra -Wno-unused-parameter -Wno-missing-field-initializers)
if(KES_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

# kes_library(name SOURCES ... [DEPS ...]): a static library whose public
# header sits in its own folder; other modules include it as "<dir>/<header>".
function(kes_library name)
  cmake_parse_arguments(A "" "" "SOURCES;DEPS" ${ARGN})
  add_library(${name} STATIC ${A_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_compile_options(${name} PRIVATE ${KES_WARNINGS})
  if(A_DEPS)
    target_link_libraries(${name} PUBLIC ${A_DEPS})
  endif()
endfunction()

# kes_test(name SOURCES ... [DEPS ...] [LABELS ...]): a GoogleTest program,
# each of its tests registered with CTest on its own.
function(kes_test name)
  if(NOT KES_TESTS)
    return()
  endif()
  cmake_parse_arguments(A "" "" "SOURCES;DEPS;LABELS" ${ARGN})
  add_executable(${name} ${A_SOURCES})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_compile_options(${name} PRIVATE ${KES_WARNINGS})
  target_link_libraries(${name} PRIVATE ${A_DEPS} GTest::gtest GTest::gtest_main)
  target_compile_definitions(${name} PRIVATE
    KES_SOURCE_DIR="${PROJECT_SOURCE_DIR}" KES_BINARY_DIR="${PROJECT_BINARY_DIR}")
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST
    PROPERTIES LABELS "${A_LABELS}"
    ENVIRONMENT "KESTRIN_HOME=${PROJECT_SOURCE_DIR}")
endfunction()
