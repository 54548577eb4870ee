# One static library per folder of src/. Sources are globbed so new class files need no CMake edit.
set(TARNWICK_LAYERS "" CACHE INTERNAL "")

# Warnings, sanitizers and the Qt definitions every target of ours compiles with; each target links
# it privately (tarnwick_use_build_flags) so that nothing is set directory-wide for others.
add_library(tarnwick_build_flags INTERFACE)
target_compile_options(tarnwick_build_flags INTERFACE -Wall -Wextra $<$<BOOL:${TARNWICK_WERROR}>:-Werror>)
target_compile_definitions(tarnwick_build_flags INTERFACE
    QT_NO_KEYWORDS_FOR_SIGNALS QT_NO_CAST_FROM_BYTEARRAY QT_USE_QSTRINGBUILDER)
if(TARNWICK_SANITIZE)
    target_compile_options(tarnwick_build_flags INTERFACE
        -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    target_link_options(tarnwick_build_flags INTERFACE -fsanitize=address,undefined)
endif()
if(TARNWICK_FUZZ)
    # Coverage feedback from the libraries too, not only from the fuzz targets' own files.
    target_compile_options(tarnwick_build_flags INTERFACE -fsanitize=fuzzer-no-link)
endif()

function(tarnwick_use_build_flags target)
    target_link_libraries(${target} PRIVATE tarnwick_build_flags)
endfunction()

# The media decoding of the previews (src/platform/media) is a library of its own, so the engine
# layers keep linking QtCore only while it adds QtGui's QImage.
# tarnwick_layer(name DEPENDENCY... [PRIVATE DEPENDENCY...]): what follows PRIVATE is used by the
# layer's sources only (FFmpeg, say) and is not handed on to the layers above.
function(tarnwick_layer name)
    cmake_parse_arguments(PARSE_ARGV 1 layer "" "" "PRIVATE")
    set(public ${layer_UNPARSED_ARGUMENTS})
    set(dir ${name})
    if(name STREQUAL "media")
        set(dir platform/media)
    endif()
    file(GLOB_RECURSE sources CONFIGURE_DEPENDS
         ${Tarnwick_SOURCE_DIR}/src/${dir}/*.cpp ${Tarnwick_SOURCE_DIR}/src/${dir}/*.h)
    list(FILTER sources EXCLUDE REGEX ".*/src/app/main\\.cpp$")
    if(name STREQUAL "platform")
        list(FILTER sources EXCLUDE REGEX ".*/src/platform/media/.*")
    endif()
    set(target tarnwick_${name})
    set(impl ${sources})
    list(FILTER impl INCLUDE REGEX ".*\\.cpp$")
    if(impl)
        add_library(${target} ${TARNWICK_LAYER_TYPE} ${sources})
        target_include_directories(${target} PUBLIC ${Tarnwick_SOURCE_DIR}/src)
        target_link_libraries(${target} PUBLIC ${public} PRIVATE ${layer_PRIVATE})
        tarnwick_use_build_flags(${target})
    else()
        add_library(${target} INTERFACE ${sources})
        target_include_directories(${target} INTERFACE ${Tarnwick_SOURCE_DIR}/src)
        target_link_libraries(${target} INTERFACE ${public})
    endif()
    set(TARNWICK_LAYERS ${TARNWICK_LAYERS} ${name} CACHE INTERNAL "")
endfunction()
