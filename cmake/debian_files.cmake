# debian_files.cmake: what a Debian system expects beside the programs: a
# manual page for each, made from its own --help and --version, the copyright
# file and the changelog.
find_program(HELP2MAN help2man REQUIRED)
find_program(GZIP gzip REQUIRED)
set(man_dir ${CMAKE_BINARY_DIR}/man)
foreach(entry "velkor|1|control panel for the VK-3 stepper-motor microstep driver"
              "velkorctl|1|the VK-3 microstep driver's link from a shell"
              "velkor-sim|1|an emulated VK-3 microstep driver on a pseudo-terminal"
              "velkord|8|serves VK-3 microstep drivers to an MQTT broker")
  string(REPLACE "|" ";" entry "${entry}")
  list(GET entry 0 program)
  list(GET entry 1 section)
  list(GET entry 2 summary)
  set(page ${man_dir}/${program}.${section})
  add_custom_command(OUTPUT ${page}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${man_dir}
    COMMAND ${HELP2MAN} --no-info --section=${section} --name=${summary} --output=${page} $<TARGET_FILE:${program}>
    COMMAND ${GZIP} -9nf ${page}
    DEPENDS ${program}
    COMMENT "Making the manual page of ${program}"
    VERBATIM)
  list(APPEND man_pages_${section} ${page}.gz)
endforeach()
add_custom_target(velkor_man_pages ALL DEPENDS ${man_pages_1} ${man_pages_8})
install(FILES ${man_pages_1} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${man_pages_8} DESTINATION ${CMAKE_INSTALL_MANDIR}/man8)

set(doc_dir ${CMAKE_BINARY_DIR}/doc)
add_custom_command(OUTPUT ${doc_dir}/changelog.gz
  COMMAND ${CMAKE_COMMAND} -E make_directory ${doc_dir}
  COMMAND ${GZIP} -9nc ${PROJECT_SOURCE_DIR}/res/debian/changelog > ${doc_dir}/changelog.gz
  DEPENDS ${PROJECT_SOURCE_DIR}/res/debian/changelog
  VERBATIM)
add_custom_target(velkor_changelog ALL DEPENDS ${doc_dir}/changelog.gz)
install(FILES ${PROJECT_SOURCE_DIR}/res/debian/copyright ${doc_dir}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/velkor)
