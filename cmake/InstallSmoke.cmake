# Installs a built urdulex tree into a fresh prefix, then configures, builds
# and runs a consumer project against it: cmake/install_smoke, or the one
# in SOURCE_DIR, whose PROGRAM is run with the installed data folder and
# must print what the file EXPECTED holds, given the installed data folder
# and again, copied out of the build tree, given nothing: the data must then
# come from the installation (urdulex/data_file.h), the build's trees
# being out of its sight.
#
# With PKG_CONFIG (the pkg-config program), SOURCE_DIR/main.cpp is built
# instead by the compiler alone with the flags pkg-config gives for
# urdulex, from the prefix moved out of the build tree after the install
# (LIBDIR: the libraries' folder under it), and the copy run without the
# data folder is put in the moved prefix's bin/; those flags must not reach
# the engine's headers.
#
#   cmake -DBUILD_DIR=... -DWORK_DIR=... -DGENERATOR=... -DCXX=...
#         [-DCONFIG=...] [-DFLAGS=...] [-DPKG_CONFIG=... -DLIBDIR=...]
#         [-DSOURCE_DIR=... -DPROGRAM=... -DEXPECTED=... -DDATA_DIR=...] -P InstallSmoke.cmake
foreach(var BUILD_DIR WORK_DIR GENERATOR CXX)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "${var} is not set")
  endif()
endforeach()

set(prefix ${WORK_DIR}/prefix)
set(consumer_build ${WORK_DIR}/build)
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
# Out of the build tree, where nothing finds the build's data.
if(DEFINED ENV{TMPDIR})
  set(outside $ENV{TMPDIR})
else()
  set(outside /tmp)
endif()
string(RANDOM LENGTH 12 token)
set(outside ${outside}/urdulex-smoke-${token})
file(MAKE_DIRECTORY ${outside})
set(copy_dir ${outside})

if(NOT SOURCE_DIR)
  set(SOURCE_DIR ${CMAKE_CURRENT_LIST_DIR}/install_smoke)
  set(PROGRAM install_smoke)
endif()

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc
                  OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "failed (${rc}): ${ARGN}\n${out}${err}")
  endif()
  set(output "${out}" PARENT_SCOPE)
endfunction()

set(config_args)
if(CONFIG)
  set(config_args --config ${CONFIG})
endif()
run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix} ${config_args})
if(PKG_CONFIG)
  set(moved ${outside}/moved)
  file(RENAME ${prefix} ${moved})
  set(prefix ${moved})
  set(copy_dir ${moved}/bin)
  set(ENV{PKG_CONFIG_PATH} ${prefix}/${LIBDIR}/pkgconfig)
  run(${PKG_CONFIG} --cflags urdulex)
  separate_arguments(cflags UNIX_COMMAND "${output}")
  run(${PKG_CONFIG} --libs urdulex)
  separate_arguments(libs UNIX_COMMAND "${output}")
  separate_arguments(flags UNIX_COMMAND "${FLAGS}")
  file(MAKE_DIRECTORY ${consumer_build})
  run(${CXX} -std=c++17 ${flags} -o ${consumer_build}/${PROGRAM}
      ${SOURCE_DIR}/main.cpp ${cflags} ${libs})
  file(WRITE ${consumer_build}/engine.cpp "#include \"foundation/Utility.h\"\n")
  execute_process(COMMAND ${CXX} -std=c++17 -fsyntax-only ${cflags}
                          ${consumer_build}/engine.cpp
                  RESULT_VARIABLE rc OUTPUT_QUIET ERROR_QUIET)
  if(rc EQUAL 0)
    message(FATAL_ERROR "the flags of pkg-config reach foundation/Utility.h")
  endif()
else()
  run(${CMAKE_COMMAND} -S ${SOURCE_DIR}
      -B ${consumer_build} -G ${GENERATOR}
      -DCMAKE_CXX_COMPILER=${CXX}
      -DCMAKE_PREFIX_PATH=${prefix}
      -DCMAKE_BUILD_TYPE=${CONFIG}
      "-DCMAKE_CXX_FLAGS=${FLAGS}"
      "-DCMAKE_EXE_LINKER_FLAGS=${FLAGS}")
  run(${CMAKE_COMMAND} --build ${consumer_build} ${config_args})
endif()
find_program(smoke ${PROGRAM}
             PATHS ${consumer_build} ${consumer_build}/${CONFIG}
             NO_DEFAULT_PATH)
if(NOT smoke)
  message(FATAL_ERROR "the consumer program was not built")
endif()
if(EXPECTED)
  file(READ ${EXPECTED} expected)
  file(COPY ${smoke} DESTINATION ${copy_dir})
  get_filename_component(name ${smoke} NAME)
  foreach(how IN ITEMS "given" "found")
    if(how STREQUAL "given")
      run(${smoke} ${prefix}/${DATA_DIR})
    else()
      run(${copy_dir}/${name})
    endif()
    if(NOT output STREQUAL expected)
      message(FATAL_ERROR "${PROGRAM} (data ${how}) printed\n${output}\n"
                          "instead of\n${expected}")
    endif()
  endforeach()
else()
  run(${smoke} ${WORK_DIR}/scratch.txt)
endif()
file(REMOVE_RECURSE ${WORK_DIR} ${outside})
message(STATUS "installed package found, linked and run")
