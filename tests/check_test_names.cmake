# Every test name of the build can be given back to `ctest -R`: only letters,
# digits and _ / . -, and no parameter written as raw bytes ("80-byte object
# <E0-14 ...>"), whose bytes and pointers change from build to build.
#   cmake -DCTEST=ctest -DBUILD=<build dir> -P check_test_names.cmake
execute_process(COMMAND ${CTEST} --test-dir ${BUILD} -N
  OUTPUT_VARIABLE listing RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "ctest -N failed in ${BUILD}")
endif()
string(REGEX MATCHALL "Test +#[0-9]+: [^\n]*" rows "${listing}")
set(bad)
foreach(row ${rows})
  string(REGEX REPLACE "^Test +#[0-9]+: " "" name "${row}")
  if(NOT name MATCHES "^[A-Za-z0-9_/.-]+$" OR name MATCHES "byte object")
    list(APPEND bad "${name}")
  endif()
endforeach()
list(LENGTH rows count)
if(count LESS 10)
  message(FATAL_ERROR "only ${count} tests listed in ${BUILD}")
endif()
if(bad)
  list(JOIN bad "\n  " bad)
  message(FATAL_ERROR "test names ctest -R cannot match again:\n  ${bad}")
endif()
message(STATUS "${count} test names, all readable")
