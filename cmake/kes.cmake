# Shared build settings and the helpers the modules use.

set(KES_WARNINGS -Wall -Wextra -Wno-unused-parameter -Wno-missing-field-initializers)
# Internal errors name their unit by its path under the source tree, so
# __FILE__ must not carry the folder the tree was checked out in.
add_compile_options(-fmacro-prefix-map=${PROJECT_SOURCE_DIR}/=)
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
  # Noted for the layering check (kes_check_layers).
  file(RELATIVE_PATH dir ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
  string(REPLACE ";" "," deps "${A_DEPS}")
  set_property(GLOBAL APPEND PROPERTY KES_LAYERS "${name}|${dir}|${deps}")
endfunction()

# kes_check_layers(): after every library is defined, the target kes_layers
# (part of every build) fails when libraries use each other, when a library
# includes a header of one it does not link, or when a unit of dr/ other than
# the cursor layer includes the client layer.
function(kes_check_layers)
  get_property(entries GLOBAL PROPERTY KES_LAYERS)
  set(text "")
  foreach(e IN LISTS entries)
    string(REPLACE "," ";" e "${e}")
    string(APPEND text "${e}\n")
  endforeach()
  file(WRITE ${PROJECT_BINARY_DIR}/layers.txt "${text}")
  find_package(Python3 COMPONENTS Interpreter REQUIRED)
  add_custom_target(kes_layers ALL
    COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/tools/layers/layers.py
            ${PROJECT_BINARY_DIR}/layers.txt ${PROJECT_SOURCE_DIR}
    COMMENT "Checking the layering of the libraries" VERBATIM)
endfunction()

# kes_program(name SOURCES ... [DEPS ...]): a program of the tree, which
# includes headers as "<dir>/<header>" and is built with the warnings.
function(kes_program name)
  cmake_parse_arguments(A "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${A_SOURCES})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_compile_options(${name} PRIVATE ${KES_WARNINGS})
  if(A_DEPS)
    target_link_libraries(${name} PRIVATE ${A_DEPS})
  endif()
endfunction()

# kes_test(name SOURCES ... [DEPS ...] [LABELS ...]): a GoogleTest program,
# each of its tests registered with CTest on its own.
function(kes_test name)
  if(NOT KES_TESTS)
    return()
  endif()
  cmake_parse_arguments(A "" "" "SOURCES;DEPS;LABELS" ${ARGN})
  kes_program(${name} SOURCES ${A_SOURCES} DEPS ${A_DEPS} GTest::gtest GTest::gtest_main)
  target_compile_definitions(${name} PRIVATE
    KES_SOURCE_DIR="${PROJECT_SOURCE_DIR}" KES_BINARY_DIR="${PROJECT_BINARY_DIR}")
  # An empty label list must not be passed on: the property list would
  # shift and the tests would lose their environment.
  # VEK73/admin holds the stemming lexicons every word list loads.
  set(props ENVIRONMENT "KESTRIN_HOME=${PROJECT_SOURCE_DIR}"
      ENVIRONMENT_MODIFICATION "VEK73=set:${PROJECT_BINARY_DIR}")
  if(A_LABELS)
    list(APPEND props LABELS "${A_LABELS}")
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST PROPERTIES ${props})
endfunction()

# Fuzz targets: only in a configuration made with clang and KES_FUZZ=ON.
# kes_fuzz(name SOURCES ... [DEPS ...] CORPUS dir): a libFuzzer program and
# its seed corpus (a folder under the source tree); scripts/test runs each
# briefly over its corpus.
if(KES_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
  add_custom_target(kes_fuzz_all)
  file(WRITE ${PROJECT_BINARY_DIR}/fuzz-targets.txt "")
endif()
function(kes_fuzz name)
  if(NOT KES_FUZZ)
    return()
  endif()
  cmake_parse_arguments(A "" "CORPUS" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${A_SOURCES})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE ${A_DEPS})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  add_dependencies(kes_fuzz_all ${name})
  file(APPEND ${PROJECT_BINARY_DIR}/fuzz-targets.txt
       "${CMAKE_CURRENT_BINARY_DIR}/${name} ${PROJECT_SOURCE_DIR}/${A_CORPUS}\n")
endfunction()

# kes_module(name DEPS ... [OPTIONAL ...]): a library made of every *.cpp of
# the calling folder, so that new units only need their file; it links DEPS
# and each OPTIONAL library that exists at this point of the configuration.
function(kes_module name)
  cmake_parse_arguments(A "" "" "DEPS;OPTIONAL" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  set(deps ${A_DEPS})
  foreach(opt IN LISTS A_OPTIONAL)
    if(TARGET ${opt})
      list(APPEND deps ${opt})
    endif()
  endforeach()
  kes_library(${name} SOURCES ${sources} DEPS ${deps})
endfunction()

# kes_test_dir([PREFIX p] DEPS ... [LABELS ...]): the tests folder that calls
# it, by pattern. One test program p<name> per <name>.cpp ending in _test.cpp,
# carrying LABELS, and the label "db" too for *_db_test.cpp (those need the
# database); one fuzz target p<name> per <name>.cpp ending in _fuzz.cpp, its
# seed corpus in corpus/<name>.
function(kes_test_dir)
  cmake_parse_arguments(A "" "PREFIX" "DEPS;LABELS" ${ARGN})
  file(GLOB tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
  foreach(src IN LISTS tests)
    get_filename_component(name ${src} NAME_WE)
    set(labels ${A_LABELS})
    if(name MATCHES "_db_test$")
      list(APPEND labels db)
    endif()
    kes_test(${A_PREFIX}${name} SOURCES ${src} DEPS ${A_DEPS} LABELS ${labels})
  endforeach()
  file(RELATIVE_PATH dir ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
  file(GLOB fuzzers CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_fuzz.cpp)
  foreach(src IN LISTS fuzzers)
    get_filename_component(name ${src} NAME_WE)
    kes_fuzz(${A_PREFIX}${name} SOURCES ${src} DEPS ${A_DEPS} CORPUS ${dir}/corpus/${name})
  endforeach()
endfunction()
