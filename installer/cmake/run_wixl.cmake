# Builds one MSI with wixl inside a staging folder (wixl takes relative Source paths only).
# wixl skips attributes it does not know with a warning and still exits 0, and reports
# a custom action it cannot express as a CRITICAL message while leaving the row out: any
# message on its error output therefore fails the build.
#
#   cmake -DWIXL=... -DSOURCE=<.wxs> -DSTAGE=<dir> -DOUTPUT=<.msi>
#         -DVERSION=<a.b.c> -DNEXT_VERSION=<a.b.c+1> -P run_wixl.cmake
foreach(var WIXL SOURCE STAGE OUTPUT VERSION NEXT_VERSION)
    if(NOT DEFINED ${var})
        message(FATAL_ERROR "run_wixl.cmake: ${var} not set")
    endif()
endforeach()

execute_process(
    COMMAND ${WIXL} --arch x64 -D Version=${VERSION} -D NextVersion=${NEXT_VERSION}
            -o ${OUTPUT} ${SOURCE}
    WORKING_DIRECTORY ${STAGE}
    RESULT_VARIABLE result
    ERROR_VARIABLE messages)
string(STRIP "${messages}" messages)
if(NOT result EQUAL 0 OR NOT messages STREQUAL "")
    file(REMOVE ${OUTPUT})
    message(FATAL_ERROR "wixl failed (exit ${result}) for ${OUTPUT}:\n${messages}")
endif()
