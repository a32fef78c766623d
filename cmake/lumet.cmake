# The libraries of lumet and their layering.
#
# LUMET_LAYERS lists the libraries lowest first; a library may link only
# libraries listed before it.  lumet_library() refuses any other link at
# configure time, and the "layers" test checks that every source file of a
# library includes headers only of itself and of what it links.

set(LUMET_LAYERS
  tree       # expression trees, texts, parser and printers, checked-build asserts
  opt        # options record and the run's shared switches
  sat        # CNF store, DIMACS files, SAT search
  qbf        # QBF tree, QBF files, QBF search
  formula    # temporal formulas: normal forms, clause forms, classification
  prog       # program record, bit numbering, range constraints
  c2v        # C translator (text to text)
  front      # preprocessor, module parser, flattening, clocks
  coi        # dependency analysis and variable ordering
  boolean    # Boolean encoding of the flattened program
  tbd        # decision-diagram node store, operations, images
  symbolic   # transition system, fixpoints, counterexamples
  bmc        # bounded driver, SAT and QBF encodings
  main       # command-line decoder, help, verdict and property selection
)

# lumet_library(NAME [DEPS lib...]) builds lum_NAME from src/NAME/*.cpp (the
# executable's lumet.cpp excepted).  A folder that does not exist yet adds no
# library; a listed dependency must exist.
function(lumet_library NAME)
  cmake_parse_arguments(LIB "" "" "DEPS" ${ARGN})
  list(FIND LUMET_LAYERS ${NAME} self)
  if(self LESS 0)
    message(FATAL_ERROR "library ${NAME} is not in LUMET_LAYERS (cmake/lumet.cmake)")
  endif()
  if(NOT IS_DIRECTORY ${CMAKE_SOURCE_DIR}/src/${NAME})
    return()
  endif()
  set(links "")
  foreach(dep ${LIB_DEPS})
    list(FIND LUMET_LAYERS ${dep} at)
    if(at LESS 0 OR NOT at LESS self)
      message(FATAL_ERROR "layering: ${NAME} may not link ${dep} (not below it in LUMET_LAYERS)")
    endif()
    if(NOT TARGET lum_${dep})
      message(FATAL_ERROR "${NAME} needs ${dep}, which is not built (no src/${dep})")
    endif()
    list(APPEND links lum_${dep})
  endforeach()
  file(GLOB src CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/${NAME}/*.cpp)
  list(FILTER src EXCLUDE REGEX ".*/lumet\\.cpp$")
  if(src)
    add_library(lum_${NAME} STATIC ${src})
    set_target_properties(lum_${NAME} PROPERTIES ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/src/${NAME})
    target_link_libraries(lum_${NAME} PUBLIC ${links})
  else()
    add_library(lum_${NAME} INTERFACE)
    target_link_libraries(lum_${NAME} INTERFACE ${links})
  endif()
  # The whole closure, for the include check.
  set(closure ${LIB_DEPS})
  foreach(dep ${LIB_DEPS})
    get_property(sub GLOBAL PROPERTY LUMET_CLOSURE_${dep})
    list(APPEND closure ${sub})
  endforeach()
  list(REMOVE_DUPLICATES closure)
  set_property(GLOBAL PROPERTY LUMET_CLOSURE_${NAME} ${closure})
  set_property(GLOBAL APPEND PROPERTY LUMET_BUILT ${NAME})
endfunction()

# Writes the closure of every built library for the layer test: one line
# "name: dep dep ...".
function(lumet_write_layers FILE)
  get_property(built GLOBAL PROPERTY LUMET_BUILT)
  set(text "")
  foreach(lib ${built})
    get_property(closure GLOBAL PROPERTY LUMET_CLOSURE_${lib})
    string(REPLACE ";" " " deps "${closure}")
    string(APPEND text "${lib}: ${deps}\n")
  endforeach()
  file(WRITE ${FILE} "${text}")
endfunction()

# lumet_test(FOLDER LIBS lib... [RUNS_LUMET]) builds test_FOLDER from
# tests/FOLDER/*.cpp, linked with the named libraries and GoogleTest.
# RUNS_LUMET: the tests also run the lumet binary.
function(lumet_test FOLDER)
  cmake_parse_arguments(T "RUNS_LUMET" "" "LIBS" ${ARGN})
  file(GLOB src CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/${FOLDER}/*.cpp)
  if(NOT src)
    return()
  endif()
  foreach(lib ${T_LIBS})
    if(NOT TARGET lum_${lib})
      return()  # the library under test is not built yet
    endif()
  endforeach()
  list(TRANSFORM T_LIBS PREPEND lum_)
  add_executable(test_${FOLDER} ${src} ${CMAKE_SOURCE_DIR}/tests/exitguard.cpp)
  target_link_libraries(test_${FOLDER} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main)
  target_compile_definitions(test_${FOLDER} PRIVATE LUMET_BIN="$<TARGET_FILE:lumet>"
                             LUMET_SRC="${CMAKE_SOURCE_DIR}")
  if(T_RUNS_LUMET)
    add_dependencies(test_${FOLDER} lumet)
  endif()
  gtest_discover_tests(test_${FOLDER} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 600)
endfunction()

# lumet_fuzz(NAME LIBS lib...) builds the libFuzzer target fuzz_NAME from
# fuzz/NAME_fuzz.cpp (configure with -DLUMET_FUZZ=ON and clang).
function(lumet_fuzz NAME)
  cmake_parse_arguments(F "" "" "LIBS" ${ARGN})
  foreach(lib ${F_LIBS})
    if(NOT TARGET lum_${lib})
      return()
    endif()
  endforeach()
  list(TRANSFORM F_LIBS PREPEND lum_)
  add_executable(fuzz_${NAME} ${CMAKE_SOURCE_DIR}/fuzz/${NAME}_fuzz.cpp)
  target_link_libraries(fuzz_${NAME} PRIVATE ${F_LIBS})
  target_link_options(fuzz_${NAME} PRIVATE -fsanitize=fuzzer)
  # scratch files of a target, where it needs any, stay in the build tree
  target_compile_definitions(fuzz_${NAME} PRIVATE LUMET_FUZZ_DIR="${CMAKE_BINARY_DIR}")
endfunction()
