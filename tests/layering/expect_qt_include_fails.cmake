# Builds the probe that includes a Qt header with the core's include path; passes only when that build
# fails because the Qt header is not found (not for any other reason).
execute_process(COMMAND ${CMAKE_COMMAND} --build ${BUILD_DIR} --target veltro_core_qt_probe
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(result EQUAL 0)
  message(FATAL_ERROR "a Qt header compiled with veltro_core's include path")
endif()
if(NOT output MATCHES "QtCore/QString")
  message(FATAL_ERROR "the probe failed for another reason:\n${output}")
endif()
message(STATUS "Qt is out of reach of veltro_core, as intended")
