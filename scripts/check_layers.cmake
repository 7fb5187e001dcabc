# The include rule of the library's layers, run by the build before any layer
# compiles (cmake -DROOT=<source folder> -DSTAMP=<file> -P check_layers.cmake).
# The layers share the folder shader/, so include folders per target cannot
# keep one layer from including another's header: this reads the quoted
# includes of every source and header and fails on the first one that points
# to a layer the including file may not use, naming file, line and header.
#
# Layers, from the bottom:
#   core      core/
#   shared    shader/ShaderSpirvNumbers.h, shader/ShaderTypes.h (the SPIR-V
#             numbers and the stage and binding types every layer above takes)
#   spirv     shader/ShaderSpirv* (the reader, its check and the base renderer)
#   compiler  shader/compiler/
#   backends  shader/backends/
#   frontend  every other file of shader/ (preprocessor, Shader object)
#   tool      tools/
cmake_minimum_required(VERSION 3.16)

if(NOT ROOT)
  message(FATAL_ERROR "check_layers.cmake: ROOT is not set")
endif()

# the layer of a path relative to ROOT, or "" for files outside the library
function(get_layer path out)
  if(path MATCHES "^core/")
    set(layer core)
  elseif(path STREQUAL "shader/ShaderSpirvNumbers.h" OR path STREQUAL "shader/ShaderTypes.h")
    set(layer shared)
  elseif(path MATCHES "^shader/ShaderSpirv[^/]*$")
    set(layer spirv)
  elseif(path MATCHES "^shader/compiler/")
    set(layer compiler)
  elseif(path MATCHES "^shader/backends/")
    set(layer backends)
  elseif(path MATCHES "^shader/[^/]*$")
    set(layer frontend)
  elseif(path MATCHES "^tools/")
    set(layer tool)
  else()
    set(layer "")
  endif()
  set(${out} ${layer} PARENT_SCOPE)
endfunction()

# what each layer may include besides itself
set(allowed_core "")
set(allowed_shared core)
set(allowed_spirv core shared)
set(allowed_compiler core shared)
set(allowed_backends core shared spirv)
set(allowed_frontend core shared spirv compiler)
set(allowed_tool core shared spirv frontend)

file(GLOB_RECURSE files RELATIVE ${ROOT}
  ${ROOT}/core/*.h ${ROOT}/core/*.cpp
  ${ROOT}/shader/*.h ${ROOT}/shader/*.cpp
  ${ROOT}/tools/*.h ${ROOT}/tools/*.cpp)
list(SORT files)

set(faults "")
foreach(file ${files})
  get_layer(${file} layer)
  if(layer STREQUAL "")
    continue()
  endif()
  # only the include lines: a line of code may hold the list separator ';'
  file(STRINGS ${ROOT}/${file} lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
  foreach(line IN LISTS lines)
    if(NOT line MATCHES "^[ \t]*#[ \t]*include[ \t]*\"([^\"]+)\"")
      continue()
    endif()
    set(header ${CMAKE_MATCH_1})
    get_layer(${header} target)
    if(target STREQUAL "" OR target STREQUAL layer)
      continue()
    endif()
    list(FIND allowed_${layer} ${target} found)
    if(found EQUAL -1)
      # the line number, for the message
      file(READ ${ROOT}/${file} text)
      string(FIND "${text}" "${line}" position)
      string(SUBSTRING "${text}" 0 ${position} before)
      string(REGEX MATCHALL "\n" breaks "${before}")
      list(LENGTH breaks number)
      math(EXPR number "${number} + 1")
      string(APPEND faults "${file}:${number}: includes \"${header}\": the ${layer} layer may not include the ${target} layer\n")
    endif()
  endforeach()
endforeach()

if(NOT faults STREQUAL "")
  message(FATAL_ERROR "includes across layers:\n${faults}")
endif()
if(STAMP)
  file(TOUCH ${STAMP})
endif()
