# Common flags and the helper that makes one static library per layer.

add_library(mivo_flags INTERFACE)
target_compile_options(mivo_flags INTERFACE -Wall -Wextra -Wpedantic -Wshadow
                       -Wnon-virtual-dtor -Wcast-align -Wformat=2)
if(MIVO_WERROR)
  target_compile_options(mivo_flags INTERFACE -Werror)
endif()
# GCC 12 at -O3 reports impossible overlaps and bounds inside std::string and std::vector
# (its bugs 105329, 105651, 106199): off for that compiler in optimised builds only.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  target_compile_options(mivo_flags INTERFACE -Wno-restrict
    $<$<CONFIG:Release>:-Wno-array-bounds -Wno-stringop-overflow -Wno-stringop-overread>)
endif()
target_compile_definitions(mivo_flags INTERFACE _FILE_OFFSET_BITS=64)

if(MIVO_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
if(MIVO_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "MIVO_FUZZ needs clang (CC=clang CXX=clang++)")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# mivo_layer(<target> DIR <folder> [DEPS <targets...>])
# Builds every .cpp directly in <folder> into a static library; a folder without
# sources yet gives an interface library, so the layer exists from day one.
function(mivo_layer target)
  cmake_parse_arguments(L "" "DIR" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${L_DIR}/*.cpp)
  if(sources)
    add_library(${target} STATIC ${sources})
    target_include_directories(${target} PUBLIC ${CMAKE_SOURCE_DIR})
    target_link_libraries(${target} PUBLIC ${L_DEPS} PRIVATE mivo_flags)
    set_target_properties(${target} PROPERTIES POSITION_INDEPENDENT_CODE ON)
  else()
    add_library(${target} INTERFACE)
    target_include_directories(${target} INTERFACE ${CMAKE_SOURCE_DIR})
    target_link_libraries(${target} INTERFACE ${L_DEPS})
  endif()
endfunction()

# The version record that the executable carries in its ".mivo_version" section: four
# numbers, a missing part counting as 0.
foreach(part MAJOR MINOR PATCH TWEAK)
  set(MIVO_VERSION_${part} "${PROJECT_VERSION_${part}}")
  if(MIVO_VERSION_${part} STREQUAL "")
    set(MIVO_VERSION_${part} 0)
  endif()
endforeach()
set(MIVO_VERSION_DOTTED
    "${MIVO_VERSION_MAJOR}.${MIVO_VERSION_MINOR}.${MIVO_VERSION_PATCH}.${MIVO_VERSION_TWEAK}")
set(MIVO_VERSION_SOURCE ${CMAKE_BINARY_DIR}/generated/version_section.cpp)
configure_file(${CMAKE_SOURCE_DIR}/cmake/version_section.cpp.in ${MIVO_VERSION_SOURCE} @ONLY)
