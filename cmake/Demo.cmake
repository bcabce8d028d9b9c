# `run-demo`: the main job. Builds the tools, makes the sample folder tree,
# writes BigTest.bf from it, shows what the archive holds and extracts it
# with the extractor. The steps
# live in cmake/run-demo.cmake so later steps slot in there.
if(TARGET bigfile AND TARGET make-sample-tree)
  set(ORVOBF_DEMO_DIR ${CMAKE_BINARY_DIR}/demo)
  set(ORVOBF_DEMO_EXTRA_ARGS "")
  if(TARGET extractor)
    list(APPEND ORVOBF_DEMO_EXTRA_ARGS -DEXTRACTOR=$<TARGET_FILE:extractor>)
    set(ORVOBF_DEMO_DEPENDS extractor)
  endif()
  add_custom_target(run-demo
    COMMAND ${CMAKE_COMMAND}
      -DBIGFILE=$<TARGET_FILE:bigfile>
      -DMAKE_SAMPLE=$<TARGET_FILE:make-sample-tree>
      -DDEMO_DIR=${ORVOBF_DEMO_DIR}
      ${ORVOBF_DEMO_EXTRA_ARGS}
      -P ${PROJECT_SOURCE_DIR}/cmake/run-demo.cmake
    DEPENDS bigfile make-sample-tree ${ORVOBF_DEMO_DEPENDS}
    USES_TERMINAL
    COMMENT "Demo: sample tree -> BigTest.bf -> extracted tree")
endif()
