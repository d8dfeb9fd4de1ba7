# Installs a built urdulex tree into a fresh prefix, then configures, builds
# and runs the consumer project in cmake/install_smoke against it.
#
#   cmake -DBUILD_DIR=... -DWORK_DIR=... -DGENERATOR=... -DCXX=...
#         [-DCONFIG=...] [-DFLAGS=...] -P InstallSmoke.cmake
foreach(var BUILD_DIR WORK_DIR GENERATOR CXX)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "${var} is not set")
  endif()
endforeach()

set(prefix ${WORK_DIR}/prefix)
set(consumer_build ${WORK_DIR}/build)
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc
                  OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "failed (${rc}): ${ARGN}\n${out}")
  endif()
endfunction()

set(config_args)
if(CONFIG)
  set(config_args --config ${CONFIG})
endif()
run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix} ${config_args})
run(${CMAKE_COMMAND} -S ${CMAKE_CURRENT_LIST_DIR}/install_smoke
    -B ${consumer_build} -G ${GENERATOR}
    -DCMAKE_CXX_COMPILER=${CXX}
    -DCMAKE_PREFIX_PATH=${prefix}
    -DCMAKE_BUILD_TYPE=${CONFIG}
    "-DCMAKE_CXX_FLAGS=${FLAGS}"
    "-DCMAKE_EXE_LINKER_FLAGS=${FLAGS}")
run(${CMAKE_COMMAND} --build ${consumer_build} ${config_args})
find_program(smoke install_smoke
             PATHS ${consumer_build} ${consumer_build}/${CONFIG}
             NO_DEFAULT_PATH)
if(NOT smoke)
  message(FATAL_ERROR "the consumer program was not built")
endif()
run(${smoke} ${WORK_DIR}/scratch.txt)
file(REMOVE_RECURSE ${WORK_DIR})
message(STATUS "installed package found, linked and run")
