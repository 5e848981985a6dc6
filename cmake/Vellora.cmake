# Shared build helpers for every subsystem folder.

# Warnings for our own targets only (third-party headers are included as system headers).
function(vellora_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  # GCC 12 reports a false overlap in std::string's operator+ when inlined at -O2
  # (a known compiler bug); nothing in our code can trigger it.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    target_compile_options(${target} PRIVATE -Wno-restrict)
  endif()
endfunction()

# vellora_library(NAME <name> SOURCES ... [PUBLIC_LIBS ...] [QT])
# A static library whose headers are included relative to the repository root,
# e.g. #include "support/String.h".
function(vellora_library)
  cmake_parse_arguments(A "QT" "NAME" "SOURCES;PUBLIC_LIBS;PRIVATE_LIBS" ${ARGN})
  add_library(${A_NAME} STATIC ${A_SOURCES})
  target_include_directories(${A_NAME} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${A_NAME} PUBLIC ${A_PUBLIC_LIBS} PRIVATE ${A_PRIVATE_LIBS})
  if(A_QT)
    set_target_properties(${A_NAME} PROPERTIES AUTOMOC ON)
    target_link_libraries(${A_NAME} PUBLIC Qt6::Widgets)
  endif()
  vellora_warnings(${A_NAME})
endfunction()

# vellora_tests(NAME <exe> SOURCES ... LIBS ... [QT])
# One GoogleTest executable; every test case is registered with CTest and runs
# with its own temporary machine folders (see platform/testsupport).
function(vellora_tests)
  cmake_parse_arguments(A "QT" "NAME" "SOURCES;LIBS" ${ARGN})
  add_executable(${A_NAME} ${A_SOURCES})
  target_link_libraries(${A_NAME} PRIVATE ${A_LIBS} vellora_test_main GTest::gmock)
  if(A_QT)
    set_target_properties(${A_NAME} PROPERTIES AUTOMOC ON)
    target_link_libraries(${A_NAME} PRIVATE Qt6::Widgets Qt6::Test)
  endif()
  vellora_warnings(${A_NAME})
  # Test names stay the same from build to build: a parameterised case is
  # named by its own name generator, never by its parameter's printed bytes.
  gtest_discover_tests(${A_NAME}
    DISCOVERY_MODE PRE_TEST
    NO_PRETTY_VALUES
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 300)
endfunction()

# vellora_subsystem(NAME <name> [LIBS ...] [UI_LIBS ...] [TEST_LIBS ...])
# Builds one subsystem folder by convention, so that several people can add
# files to it without touching its build file:
#   <folder>/*.cpp            -> static library <name>       (never includes Qt)
#   <folder>/ui/*.cpp         -> static library <name>_ui    (Qt widgets)
#   <folder>/tests/*.cpp      -> test executable <name>_tests
#   <folder>/ui/tests/*.cpp   -> test executable <name>_ui_tests (offscreen Qt)
function(vellora_subsystem)
  cmake_parse_arguments(A "" "NAME" "LIBS;UI_LIBS;TEST_LIBS" ${ARGN})
  set(dir ${CMAKE_CURRENT_SOURCE_DIR})
  file(GLOB logic_sources CONFIGURE_DEPENDS ${dir}/*.cpp)
  file(GLOB ui_sources CONFIGURE_DEPENDS ${dir}/ui/*.cpp)
  file(GLOB test_sources CONFIGURE_DEPENDS ${dir}/tests/*.cpp)
  file(GLOB ui_test_sources CONFIGURE_DEPENDS ${dir}/ui/tests/*.cpp)
  file(GLOB logic_headers CONFIGURE_DEPENDS ${dir}/*.h)
  file(GLOB ui_headers CONFIGURE_DEPENDS ${dir}/ui/*.h)

  if(logic_sources)
    vellora_library(NAME ${A_NAME} SOURCES ${logic_sources} ${logic_headers} PUBLIC_LIBS ${A_LIBS})
  else()
    add_library(${A_NAME} INTERFACE)
    target_include_directories(${A_NAME} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${A_NAME} INTERFACE ${A_LIBS})
  endif()
  if(ui_sources)
    vellora_library(NAME ${A_NAME}_ui QT SOURCES ${ui_sources} ${ui_headers}
      PUBLIC_LIBS ${A_NAME} ${A_UI_LIBS})
  endif()
  if(test_sources)
    vellora_tests(NAME ${A_NAME}_tests SOURCES ${test_sources} LIBS ${A_NAME} ${A_TEST_LIBS})
  endif()
  if(ui_test_sources)
    vellora_tests(NAME ${A_NAME}_ui_tests QT SOURCES ${ui_test_sources}
      LIBS ${A_NAME}_ui ${A_TEST_LIBS})
  endif()
endfunction()

# vellora_supplied_files(TARGET <lib> FOLDER <folder> SYMBOL <name> HEADER <include>)
# Builds every file below FOLDER into the library as a byte array (see
# cmake/EmbedFiles.cmake), so the program carries the files it installs.
# Adding a file to the folder needs no build edit.
function(vellora_supplied_files)
  cmake_parse_arguments(A "" "TARGET;FOLDER;SYMBOL;HEADER" "" ${ARGN})
  file(GLOB_RECURSE inputs CONFIGURE_DEPENDS LIST_DIRECTORIES false "${A_FOLDER}/*")
  set(output "${CMAKE_CURRENT_BINARY_DIR}/${A_SYMBOL}.cpp")
  add_custom_command(OUTPUT "${output}"
    COMMAND ${CMAKE_COMMAND} -DFOLDER=${A_FOLDER} -DOUTPUT=${output} -DHEADER=${A_HEADER}
            -DSYMBOL=${A_SYMBOL} -P ${PROJECT_SOURCE_DIR}/cmake/EmbedFiles.cmake
    DEPENDS ${inputs} ${PROJECT_SOURCE_DIR}/cmake/EmbedFiles.cmake
    COMMENT "Building the files of ${A_FOLDER} into ${A_TARGET}"
    VERBATIM)
  target_sources(${A_TARGET} PRIVATE "${output}")
endfunction()
