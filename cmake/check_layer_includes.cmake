# Fails when a source file includes a header of a layer above its own; the layer libraries catch
# calls at link time, this catches what a header alone brings (constants, inline code).
#   cmake -DROOT=<source dir> -P check_layer_includes.cmake
set(lower "platform/|res/")
set(rules
    "platform/v4l2=platform/v4l2/"
    "platform/graph=platform/graph/|platform/v4l2/|platform/[^/]+$|res/"
    "platform=platform/[^/]+$|res/"
    "res=platform/[^/]+$|res/"
    "emulated=emulated/|platform/v4l2/"
    "analysis=analysis/"
    "controls=controls/|${lower}"
    "playback=playback/|analysis/|controls/|${lower}"
    "capture=capture/|playback/|analysis/|controls/|${lower}"
    "exam=exam/|capture/|playback/|analysis/|controls/|${lower}"
    "report=report/|exam/|capture/|playback/|analysis/|controls/|${lower}"
    "dicom=dicom/|exam/|capture/|playback/|analysis/|controls/|${lower}"
    "workstation=workstation/|dicom/|report/|exam/|capture/|playback/|analysis/|controls/|${lower}"
    "app=app/|workstation/|dicom/|report/|exam/|capture/|playback/|analysis/|controls/|${lower}")

set(bad "")
foreach(rule IN LISTS rules)
    string(REGEX MATCH "^([^=]+)=(.*)$" _ "${rule}")
    set(folder "${CMAKE_MATCH_1}")
    set(allowed "^(${CMAKE_MATCH_2})")
    file(GLOB files "${ROOT}/${folder}/*.h" "${ROOT}/${folder}/*.cpp")
    foreach(file IN LISTS files)
        file(STRINGS "${file}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
        foreach(line IN LISTS lines)
            string(REGEX REPLACE "^[^\"]*\"([^\"]+)\".*$" "\\1" header "${line}")
            if(NOT header MATCHES "${allowed}")
                file(RELATIVE_PATH name "${ROOT}" "${file}")
                string(APPEND bad "  ${name} includes ${header}\n")
            endif()
        endforeach()
    endforeach()
endforeach()
if(bad)
    message(FATAL_ERROR "Includes that go up a layer:\n${bad}")
endif()
