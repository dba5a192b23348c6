# The real speech engines, each in a file of its own, are built when
# pkg-config finds their library and the resampler they share; otherwise the
# platform has the stub engine only. Included by platform/CMakeLists.txt
# after the library target exists.
set(speech_dir ${CMAKE_CURRENT_SOURCE_DIR}/src/speech)
find_package(PkgConfig QUIET)
if(PKG_CONFIG_FOUND)
  pkg_check_modules(HCYPLAT_SOXR QUIET IMPORTED_TARGET soxr)
  pkg_check_modules(HCYPLAT_ESPEAK_NG QUIET IMPORTED_TARGET espeak-ng)
  # Not an imported target: its .pc file names an include folder that the
  # Debian package does not have.
  pkg_check_modules(HCYPLAT_POCKETSPHINX QUIET pocketsphinx)
endif()

set(speech_engines stub)
if(HCYPLAT_SOXR_FOUND AND HCYPLAT_ESPEAK_NG_FOUND)
  list(APPEND speech_engines espeak-ng)
  target_link_libraries(hcyplatform PRIVATE PkgConfig::HCYPLAT_ESPEAK_NG)
else()
  set_source_files_properties(${speech_dir}/espeak_ng_engine.cpp PROPERTIES HEADER_FILE_ONLY ON)
endif()
if(HCYPLAT_SOXR_FOUND AND HCYPLAT_POCKETSPHINX_FOUND)
  list(APPEND speech_engines pocketsphinx)
  pkg_get_variable(speech_model_dir pocketsphinx modeldir)
  set(speech_includes)
  foreach(dir ${HCYPLAT_POCKETSPHINX_INCLUDE_DIRS})
    if(IS_DIRECTORY ${dir})
      list(APPEND speech_includes ${dir})
    endif()
  endforeach()
  target_include_directories(hcyplatform PRIVATE ${speech_includes})
  target_link_libraries(hcyplatform PRIVATE ${HCYPLAT_POCKETSPHINX_LINK_LIBRARIES})
  set_source_files_properties(${speech_dir}/pocketsphinx_engine.cpp PROPERTIES
    COMPILE_DEFINITIONS HCYPLAT_POCKETSPHINX_MODEL_DIR="${speech_model_dir}/en-us")
else()
  set_source_files_properties(${speech_dir}/pocketsphinx_engine.cpp PROPERTIES HEADER_FILE_ONLY ON)
endif()
if(speech_engines MATCHES "espeak-ng|pocketsphinx")
  target_link_libraries(hcyplatform PRIVATE PkgConfig::HCYPLAT_SOXR)
else()
  set_source_files_properties(${speech_dir}/soxr_resample.cpp PROPERTIES HEADER_FILE_ONLY ON)
endif()
message(STATUS "Speech engines: ${speech_engines}")
