# qlswav_add_test(NAME SOURCES <files...> LIBS <targets...> [TIMEOUT s])
# A Qt Test executable registered with CTest; GUI code runs offscreen and the
# settings of each test live in a private folder of its own.
function(qlswav_add_test name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE qlswav_options Qt6::Test ${ARG_LIBS})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  add_test(NAME ${name} COMMAND ${name})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  set(cfg ${CMAKE_CURRENT_BINARY_DIR}/${name}.home)
  set_tests_properties(${name} PROPERTIES
    TIMEOUT ${ARG_TIMEOUT}
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;XDG_CONFIG_HOME=${cfg}/config;XDG_RUNTIME_DIR=${cfg}/run;HOME=${cfg};QLSWAV_BOARD_SIM=$<TARGET_FILE:qls-wav-board>")
  file(MAKE_DIRECTORY ${cfg}/config ${cfg}/run)
  file(CHMOD ${cfg}/run DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
endfunction()
