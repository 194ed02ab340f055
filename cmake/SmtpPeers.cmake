# The loopback SMTP peers of the mail tests (tests/peers/smtp_server.py, aiosmtpd): started
# before test_notify and stopped after it, with the test CA of their TLS listeners trusted in the
# build folder's Wine prefix. The peer lives in <build>/smtp-peer; the tests find it beside
# their executable.
if(WIN32 AND CMAKE_CROSSCOMPILING AND TARGET test_notify AND TARGET install_test_ca)
  set(_peer_dir "${CMAKE_BINARY_DIR}/smtp-peer")
  set(_peer_script "${CMAKE_SOURCE_DIR}/tests/peers/smtp_server.py")

  add_test(NAME smtp_peer_start COMMAND /usr/bin/python3 "${_peer_script}" start --dir "${_peer_dir}")
  set_tests_properties(smtp_peer_start PROPERTIES FIXTURES_SETUP smtp_peer TIMEOUT 60)

  # A target command runs through the Wine emulator; the path is relative to the build folder,
  # which is the working directory, so that Wine sees it on its Z: drive.
  add_test(NAME smtp_peer_trust COMMAND install_test_ca "smtp-peer/ca.der" WORKING_DIRECTORY "${CMAKE_BINARY_DIR}")
  set_tests_properties(smtp_peer_trust PROPERTIES
    FIXTURES_REQUIRED smtp_peer FIXTURES_SETUP smtp_trust TIMEOUT 120
    ENVIRONMENT "UPTORRA_BUILD_DIR=${CMAKE_BINARY_DIR}")

  add_test(NAME smtp_peer_stop COMMAND /usr/bin/python3 "${_peer_script}" stop --dir "${_peer_dir}")
  set_tests_properties(smtp_peer_stop PROPERTIES FIXTURES_CLEANUP smtp_peer TIMEOUT 30)

  set_property(TEST notify APPEND PROPERTY FIXTURES_REQUIRED smtp_peer smtp_trust)
endif()
