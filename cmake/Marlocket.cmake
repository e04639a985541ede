# mk_library(NAME DIR <dir> [WIDGETS] [LIBS ...])
# Collects every .cpp/.h under DIR (not recursing into subfolders that own a
# CMakeLists.txt of their own) into one static library. WIDGETS libraries may
# link QtWidgets; the others must not. PLAIN libraries link no Qt at all.
function(mk_library name)
  cmake_parse_arguments(ARG "WIDGETS;PLAIN" "DIR" "LIBS;EXCLUDE" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${ARG_DIR}/*.cpp ${ARG_DIR}/*.h)
  foreach(ex ${ARG_EXCLUDE})
    list(FILTER srcs EXCLUDE REGEX "${ex}")
  endforeach()
  if(NOT srcs)
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${CMAKE_SOURCE_DIR})
    if(ARG_PLAIN)
      target_link_libraries(${name} INTERFACE ${ARG_LIBS})
    elseif(ARG_WIDGETS)
      target_link_libraries(${name} INTERFACE Qt6::Widgets Qt6::PrintSupport ${ARG_LIBS})
    else()
      target_link_libraries(${name} INTERFACE Qt6::Core Qt6::Gui ${ARG_LIBS})
    endif()
    return()
  endif()
  add_library(${name} STATIC ${srcs})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR})
  if(ARG_PLAIN)
    # Plain C++: no Qt at all.
    set_target_properties(${name} PROPERTIES AUTOMOC OFF AUTOUIC OFF)
    target_link_libraries(${name} PUBLIC ${ARG_LIBS})
  elseif(ARG_WIDGETS)
    target_link_libraries(${name} PUBLIC Qt6::Widgets Qt6::PrintSupport ${ARG_LIBS})
  else()
    target_link_libraries(${name} PUBLIC Qt6::Core Qt6::Gui ${ARG_LIBS})
  endif()
endfunction()

# mk_test(NAME DIR <dir> LIBS ...) builds one GoogleTest executable from the
# sources in DIR and registers its cases with CTest. Widget tests run headless.
function(mk_test name)
  cmake_parse_arguments(ARG "" "DIR;TIMEOUT" "LIBS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${ARG_DIR}/*.cpp ${ARG_DIR}/*.h)
  if(NOT srcs)
    return()
  endif()
  add_executable(${name} ${srcs})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} mk_testsupport GTest::gtest)
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  gtest_discover_tests(${name}
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/tests
    # gtest_discover_tests keeps only one ENVIRONMENT entry; the test main
    # finds the source tree and the program folder from compiled-in paths.
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT ${ARG_TIMEOUT}
    DISCOVERY_TIMEOUT 60)
endfunction()
