# SPDX-License-Identifier: MIT
# Compiler settings shared by every target of the project.
add_compile_options(-Wall -Wextra -Wshadow -Wformat=2)
if(YUTIL_WERROR)
  add_compile_options(-Werror)
endif()
# 32-bit ARM: "arm" in the toolchain file, armv7l or armv8l on a native builder.
set(YUTIL_ARM32 OFF)
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^arm($|v)")
  set(YUTIL_ARM32 ON)
endif()
# The C flags as separate arguments, for the commands and files that CMake does not
# give them to by itself.
separate_arguments(YUTIL_C_FLAGS_LIST UNIX_COMMAND "${CMAKE_C_FLAGS}")

# GCC for 32-bit ARM notes every class type whose passing changed in GCC 7.1
# (vectors, spans, iterators). All objects here come from one compiler, so the
# notes concern nothing and would bury real warnings in the log.
if(YUTIL_ARM32 AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  add_compile_options($<$<COMPILE_LANGUAGE:CXX>:-Wno-psabi>)
endif()

# The hardening a distribution expects. A caller's own _FORTIFY_SOURCE (from
# CPPFLAGS in CFLAGS, as Debian's build flags bring it) is left as it is.
add_compile_options(-fstack-protector-strong)
if(NOT "${CMAKE_C_FLAGS} ${CMAKE_CXX_FLAGS}" MATCHES "_FORTIFY_SOURCE")
  add_compile_options("$<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:-U_FORTIFY_SOURCE;-D_FORTIFY_SOURCE=2>")
endif()
add_link_options(LINKER:-z,relro,-z,now)
# 32-bit ARM Linux runs on 4 KiB pages only (an arm64 kernel runs 32-bit programs
# only with 4 KiB pages too). binutils 2.44 pads the file to its default of 64 KiB
# between the read-only and the writable part, which more than doubles the library.
if(YUTIL_ARM32)
  add_link_options(LINKER:-z,max-page-size=4096)
endif()

# The same sources give the same files whatever folders they are built in: run
# paths in the build tree are relative to the file, and the source and build
# folders take fixed names in debug information and __FILE__. The build folder's
# mapping comes last, as GCC takes the last that matches and it may lie inside
# the source folder.
set(CMAKE_BUILD_RPATH_USE_ORIGIN ON)
add_compile_options(-ffile-prefix-map=${PROJECT_SOURCE_DIR}=.
                    -ffile-prefix-map=${PROJECT_BINARY_DIR}=build)

if(YUTIL_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "YUTIL_FUZZ needs clang (libFuzzer): configure with CC=clang CXX=clang++")
  endif()
  # Coverage for every target; the fuzz targets alone link the fuzzer's main.
  set(YUTIL_SANITIZE ON)
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
# YUTIL_SANITIZE_FLAGS: what a program linked with the library needs as well.
set(YUTIL_SANITIZE_FLAGS "")
if(YUTIL_SANITIZE STREQUAL "thread")
  set(YUTIL_SANITIZE_FLAGS -fsanitize=thread)
elseif(YUTIL_SANITIZE)
  set(YUTIL_SANITIZE_FLAGS -fsanitize=address,undefined)
  add_compile_options(-fno-sanitize-recover=all)
endif()
if(YUTIL_SANITIZE_FLAGS)
  add_compile_options(${YUTIL_SANITIZE_FLAGS} -fno-omit-frame-pointer)
  add_link_options(${YUTIL_SANITIZE_FLAGS})
endif()

# Built for control-flow protection on x86 (Debian's build flags ask for it on
# amd64), a file is marked for indirect-branch tracking and shadow stacks only if
# every object linked into it is. The C library's own start files crti.o and crtn.o
# are not, on Debian 12 and 13; in a shared library they only make an _init and
# _fini that nothing needs (constructors run from .init_array) and whose code has no
# branch landing pad. So the runtime-free libraries leave them out and link only the
# compiler's crtbeginS.o and crtendS.o, which are marked.
set(YUTIL_CET OFF)
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|i.86)$"
   AND "${CMAKE_C_FLAGS} ${CMAKE_CXX_FLAGS}" MATCHES "-fcf-protection(=full)?( |$)")
  set(YUTIL_CET ON)
  foreach(part crtbeginS crtendS)
    execute_process(COMMAND ${CMAKE_C_COMPILER} ${YUTIL_C_FLAGS_LIST} -print-file-name=${part}.o
                    OUTPUT_VARIABLE YUTIL_${part} OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT IS_ABSOLUTE "${YUTIL_${part}}")
      message(FATAL_ERROR "the compiler does not say where its ${part}.o is")
    endif()
  endforeach()
endif()

# A shared library that must load without the C++ runtime: no exceptions, no RTTI,
# hidden symbols, linked by the C driver against a static libgcc. Its code is
# compiled in `target` itself or, when given, in the object library `objects`.
function(yutil_runtime_free_library target)
  set(compiled ${ARGV1})
  if(NOT compiled)
    set(compiled ${target})
  endif()
  target_compile_options(${compiled} PRIVATE
    $<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions -fno-rtti -fno-threadsafe-statics>
    -fvisibility=hidden)
  set_target_properties(${compiled} PROPERTIES
    C_VISIBILITY_PRESET hidden
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)
  set_target_properties(${target} PROPERTIES LINKER_LANGUAGE C)
  # --as-needed: CMake names the C++ runtime on the link line for C++ sources; GCC
  # on Debian drops it as unused by itself, clang does not.
  if(NOT YUTIL_SANITIZE)
    target_link_options(${target} PRIVATE -static-libgcc -Wl,--no-undefined -Wl,-z,defs
                        -Wl,--as-needed)
    if(YUTIL_CET)
      # crtbeginS.o before the objects, crtendS.o after them, as the driver orders them.
      target_link_options(${target} PRIVATE -nostartfiles ${YUTIL_crtbeginS})
      target_link_libraries(${target} PRIVATE ${YUTIL_crtendS})
    endif()
  endif()
endfunction()

# Adds every folder below the current one that brings a CMakeLists.txt: one per area.
function(yutil_add_area_subdirectories)
  file(GLOB dirs LIST_DIRECTORIES true CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*)
  foreach(dir ${dirs})
    if(IS_DIRECTORY ${dir} AND EXISTS ${dir}/CMakeLists.txt)
      add_subdirectory(${dir})
    endif()
  endforeach()
endfunction()
