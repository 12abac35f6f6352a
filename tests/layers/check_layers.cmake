# Run as a test: the windows' libraries and tharnvik-cli cannot include the
# transport. For each of them, the probe (which includes the transport's
# header) is compiled with exactly that target's include path and must fail
# for want of the header; the same probe compiled with the transport
# library's own include path must succeed, so the check itself is known to
# work.
#
# -DCXX=compiler -DPROBE=file -DDEVICE=the transport's folder
# -DCONTROL=the transport library's include path
# -DTARGETS=name=dir;dir;...|name=dir;...  (each target's include path)

function(compile out includes)
    set(flags "")
    foreach(dir IN LISTS includes)
        if(NOT dir STREQUAL "")
            list(APPEND flags "-I${dir}")
        endif()
    endforeach()
    execute_process(COMMAND ${CXX} -std=c++20 -fsyntax-only ${flags} ${PROBE}
                    RESULT_VARIABLE rc OUTPUT_QUIET ERROR_VARIABLE err)
    set(${out} ${rc} PARENT_SCOPE)
    set(${out}_err "${err}" PARENT_SCOPE)
endfunction()

compile(control "${CONTROL}")
if(NOT control EQUAL 0)
    message(FATAL_ERROR "The probe does not compile even with the transport's include path: ${control_err}")
endif()

set(failed "")
function(check name dirs)
    list(FIND dirs "${DEVICE}" onPath)
    list(LENGTH dirs count)
    if(NOT onPath EQUAL -1)
        set(failed "${failed}\n${name} has the transport's folder on its include path" PARENT_SCOPE)
        return()
    endif()
    compile(rc "${dirs}")
    if(rc EQUAL 0)
        set(failed "${failed}\n${name} compiles a source that includes the transport" PARENT_SCOPE)
    elseif(NOT rc_err MATCHES "D2XXUnit.h")
        set(failed "${failed}\n${name}: the probe failed for another reason: ${rc_err}" PARENT_SCOPE)
    else()
        message(STATUS "${name}: the transport is out of reach (${count} folders on its include path)")
    endif()
endfunction()

string(REPLACE "|" ";|;" items "${TARGETS}")
set(name "")
set(dirs "")
foreach(item IN LISTS items ITEMS ZZ)
    if(item STREQUAL "|" OR item STREQUAL "ZZ")
        if(NOT name STREQUAL "")
            check("${name}" "${dirs}")
        endif()
        set(name "")
        set(dirs "")
    elseif(name STREQUAL "")
        string(FIND "${item}" "=" eq)
        string(SUBSTRING "${item}" 0 ${eq} name)
        math(EXPR start "${eq} + 1")
        string(SUBSTRING "${item}" ${start} -1 first)
        set(dirs "${first}")
    else()
        list(APPEND dirs "${item}")
    endif()
endforeach()
if(failed)
    message(FATAL_ERROR "${failed}")
endif()
