# Steps of the demo, run with `cmake -P` by the run-demo target.
function(step)
  message(STATUS "demo: ${ARGV0}")
  list(REMOVE_AT ARGV 0)
  execute_process(COMMAND ${ARGV} WORKING_DIRECTORY ${DEMO_DIR} RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "demo step failed (${rc}): ${ARGV}")
  endif()
endfunction()

file(MAKE_DIRECTORY ${DEMO_DIR})
step("make the sample folder tree" ${MAKE_SAMPLE} ${DEMO_DIR}/sample)
step("write BigTest.bf (entries packed where that makes them smaller)"
     ${BIGFILE} create --pack-if-smaller ${DEMO_DIR}/BigTest.bf ${DEMO_DIR}/sample)
step("header" ${BIGFILE} info ${DEMO_DIR}/BigTest.bf)
step("contents" ${BIGFILE} list -l ${DEMO_DIR}/BigTest.bf)

if(DEFINED EXTRACTOR)
  # The extractor reads BigTest.bf from its working directory and puts the
  # archive's root into the parent of the output folder the registry names.
  file(REMOVE_RECURSE ${DEMO_DIR}/Data)
  file(MAKE_DIRECTORY ${DEMO_DIR}/Data/Out)
  file(WRITE ${DEMO_DIR}/registry.reg
    "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Orvo\\AshenThrone]\n@=\"${DEMO_DIR}/Data/Out\"\n")
  step("extract BigTest.bf with the extractor"
       ${CMAKE_COMMAND} -E env ORVOBF_REGISTRY=${DEMO_DIR}/registry.reg ${EXTRACTOR})
  step("extracted tree equals the sample" diff -r --exclude=Out sample Data)
  file(GLOB_RECURSE extracted LIST_DIRECTORIES false RELATIVE ${DEMO_DIR} ${DEMO_DIR}/Data/*)
  list(SORT extracted)
  message(STATUS "demo: extracted tree")
  foreach(path IN LISTS extracted)
    file(SIZE ${DEMO_DIR}/${path} size)
    message(STATUS "  ${size}\t${path}")
  endforeach()
  list(LENGTH extracted count)
  message(STATUS "demo: ${count} files extracted into ${DEMO_DIR}/Data, identical to the sample")
endif()
