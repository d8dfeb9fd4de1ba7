# urdulex_library(NAME <short> SOURCES ... HEADERS ... [DEPS ...])
#
# One static library per subsystem folder: target urdulex_<short>, exported
# as urdulex::<short>. Code includes headers by their folder,
# e.g. "foundation/FileReader.h", both in the tree and once installed, where
# the HEADERS go to include/urdulex/engine/<folder>/: apart from the public
# API of include/urdulex/*.h, on the include path only of programs that
# link a subsystem library.
function(urdulex_library)
  cmake_parse_arguments(ARG "" "NAME" "SOURCES;HEADERS;DEPS" ${ARGN})
  set(target urdulex_${ARG_NAME})
  add_library(${target} STATIC ${ARG_SOURCES} ${ARG_HEADERS})
  add_library(urdulex::${ARG_NAME} ALIAS ${target})
  set_target_properties(${target} PROPERTIES EXPORT_NAME ${ARG_NAME}
                                             POSITION_INDEPENDENT_CODE ON)
  # include/ holds the public API ("urdulex/urdulex.h"), which the
  # libraries implement.
  target_include_directories(${target} PUBLIC
      $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}>
      $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include>
      $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}/urdulex/engine>
      $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
  target_compile_features(${target} PUBLIC cxx_std_17)
  if(ARG_DEPS)
    target_link_libraries(${target} PUBLIC ${ARG_DEPS})
  endif()
  if(URDULEX_INSTALL)
    get_filename_component(folder ${CMAKE_CURRENT_SOURCE_DIR} NAME)
    install(TARGETS ${target} EXPORT urdulexTargets
            ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
    # `cmake --install --strip` strips the programs; the libraries lose
    # their debugging information too, and keep the symbols a link needs.
    if(CMAKE_STRIP)
      set(archive ${CMAKE_INSTALL_LIBDIR}/$<TARGET_FILE_NAME:${target}>)
      if(NOT IS_ABSOLUTE ${CMAKE_INSTALL_LIBDIR})
        set(archive "\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${archive}")
      endif()
      install(CODE "if(CMAKE_INSTALL_DO_STRIP)
  execute_process(COMMAND \"${CMAKE_STRIP}\" --strip-debug \"${archive}\"
                  RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR \"could not strip ${archive}\")
  endif()
endif()")
    endif()
    install(FILES ${ARG_HEADERS}
            DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/urdulex/engine/${folder})
  endif()
endfunction()

# urdulex_program(NAME <name> SOURCES ... DEPS ...)
#
# Programs are installed but not exported: a program may share its name with
# the library of its subsystem (diacritizer, codemapper), and the package
# can hold only one urdulex::<name>.
function(urdulex_program)
  cmake_parse_arguments(ARG "" "NAME" "SOURCES;DEPS" ${ARGN})
  add_executable(${ARG_NAME} ${ARG_SOURCES})
  target_link_libraries(${ARG_NAME} PRIVATE ${ARG_DEPS})
  if(URDULEX_INSTALL)
    install(TARGETS ${ARG_NAME}
            RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endfunction()

# urdulex_test(NAME <name> SOURCES ... DEPS ...)
#
# One GoogleTest binary; every test case becomes a CTest test. Tests find
# the shipped sample data through URDULEX_SOURCE_DIR and the built programs
# through definitions passed in DEFINES.
function(urdulex_test)
  if(NOT URDULEX_BUILD_TESTS)
    return()
  endif()
  cmake_parse_arguments(ARG "" "NAME" "SOURCES;DEPS;DEFINES" ${ARGN})
  add_executable(${ARG_NAME} ${ARG_SOURCES})
  target_link_libraries(${ARG_NAME} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gtest_main)
  target_compile_definitions(${ARG_NAME} PRIVATE
      URDULEX_SOURCE_DIR="${PROJECT_SOURCE_DIR}" ${ARG_DEFINES})
  gtest_discover_tests(${ARG_NAME} DISCOVERY_TIMEOUT 120
                       PROPERTIES TIMEOUT 300)
endfunction()
