# Builds one MSI with wixl inside a staging folder (wixl takes relative Source paths only).
# wixl skips attributes it does not know with a warning and still exits 0, and reports
# a custom action it cannot express as a CRITICAL message while leaving the row out: any
# message on its error output therefore fails the build.
#
# The package is reproducible: wixl writes the clock's time into the summary information
# and the staged files' times into the cabinet, and a random package code. Here the
# clock is frozen (faketime) and the files are stamped at SOURCE_DATE_EPOCH (else the
# commit's time, else a fixed date outside a git checkout), and the package code is
# replaced (msibuild) by a name-based UUID of the product code and the packaged bytes: a
# rebuild gives the same code, a package with other contents (a signed executable) another.
#
#   cmake -DWIXL=... -DFAKETIME=... -DMSIBUILD=... -DMSIINFO=... -DSOURCE=<.wxs>
#         -DSOURCE_DIR=<repository> -DSTAGE=<dir> -DOUTPUT=<.msi> -DVERSION=<a.b.c>
#         -DNEXT_VERSION=<a.b.c+1> -DUPGRADE_CODE=<uuid> -DPRODUCT_CODE=<uuid>
#         -P run_wixl.cmake
foreach(var WIXL FAKETIME MSIBUILD MSIINFO SOURCE SOURCE_DIR STAGE OUTPUT VERSION NEXT_VERSION
            UPGRADE_CODE PRODUCT_CODE)
    if(NOT DEFINED ${var})
        message(FATAL_ERROR "run_wixl.cmake: ${var} not set")
    endif()
endforeach()

# 1980-01-01 00:00:00 UTC, the earliest time a cabinet can hold.
set(fallback_epoch 315532800)

function(fail text)
    file(REMOVE ${OUTPUT})
    message(FATAL_ERROR "${text}")
endfunction()

if(DEFINED ENV{SOURCE_DATE_EPOCH})
    set(epoch $ENV{SOURCE_DATE_EPOCH})
else()
    execute_process(
        COMMAND git -C ${SOURCE_DIR} log -1 --format=%ct
        RESULT_VARIABLE git_result
        OUTPUT_VARIABLE epoch
        OUTPUT_STRIP_TRAILING_WHITESPACE
        ERROR_QUIET)
    if(NOT git_result EQUAL 0)
        set(epoch ${fallback_epoch})
    endif()
endif()
if(NOT epoch MATCHES "^[0-9]+$" OR epoch LESS fallback_epoch)
    fail("SOURCE_DATE_EPOCH '${epoch}' is not a time after 1980 in seconds")
endif()
set(ENV{SOURCE_DATE_EPOCH} ${epoch})
string(TIMESTAMP frozen_clock "%Y-%m-%d %H:%M:%S" UTC)

# Cabinets hold local times: UTC here whatever the machine's zone. NO_FAKE_STAT: the
# files' own (stamped) times go into the cabinet, not times shifted by faketime.
set(ENV{TZ} UTC)
set(ENV{NO_FAKE_STAT} 1)
file(GLOB staged ${STAGE}/*)
execute_process(COMMAND touch -d @${epoch} ${staged} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    fail("cannot set the time of ${staged}")
endif()

execute_process(
    COMMAND ${FAKETIME} -f ${frozen_clock}
            ${WIXL} --arch x64 -D Version=${VERSION} -D NextVersion=${NEXT_VERSION}
            -D UpgradeCode=${UPGRADE_CODE} -D ProductCode=${PRODUCT_CODE}
            -o ${OUTPUT} ${SOURCE}
    WORKING_DIRECTORY ${STAGE}
    RESULT_VARIABLE result
    ERROR_VARIABLE messages)
string(STRIP "${messages}" messages)
if(NOT result EQUAL 0 OR NOT messages STREQUAL "")
    fail("wixl failed (exit ${result}) for ${OUTPUT}:\n${messages}")
endif()

# msibuild -s rewrites subject, author, template and package code together: the first
# three go back as wixl wrote them.
execute_process(COMMAND ${MSIINFO} suminfo ${OUTPUT} OUTPUT_VARIABLE summary RESULT_VARIABLE result)
foreach(field Subject Author Template)
    if(NOT summary MATCHES "\n${field}: ([^\n]*)\n")
        fail("no ${field} in the summary information of ${OUTPUT} (exit ${result})")
    endif()
    set(${field} "${CMAKE_MATCH_1}")
endforeach()
set(contents "${VERSION}")
foreach(input ${SOURCE} ${staged})
    file(SHA256 ${input} digest)
    string(APPEND contents " ${digest}")
endforeach()
string(UUID package_code NAMESPACE ${PRODUCT_CODE} NAME "${contents}" TYPE SHA1 UPPER)
execute_process(
    COMMAND ${MSIBUILD} ${OUTPUT} -s "${Subject}" "${Author}" "${Template}" "{${package_code}}"
    RESULT_VARIABLE result
    OUTPUT_VARIABLE messages
    ERROR_VARIABLE messages)
if(NOT result EQUAL 0)
    fail("msibuild could not set the package code of ${OUTPUT} (exit ${result}):\n${messages}")
endif()
