# The notification tests talk to local peers: a stand-in for the push service (plain and TLS)
# and a forward proxy, both Python programs bound to 127.0.0.1. CTest starts them before
# test_notify and stops them afterwards (fixtures), also when tests fail; a peer left over by
# an aborted run is stopped by the next start, and every peer ends itself after its lifetime.
# The python commands are not target executables, so CTest runs them natively, not under Wine.
if(NOT (WIN32 AND TEST notify))
  return()
endif()

set(_python /usr/bin/python3)
set(_peers "${CMAKE_SOURCE_DIR}/tests/peers")
set(_state "${CMAKE_BINARY_DIR}/peers/notify")

add_test(NAME notify_peers_push
  COMMAND ${_python} ${_peers}/peerctl.py start --state-dir ${_state} --name push
          -- ${_python} ${_peers}/push_service.py --tls --tls-count 2 --max-lifetime 1800)
add_test(NAME notify_peers_proxy
  COMMAND ${_python} ${_peers}/peerctl.py start --state-dir ${_state} --name proxy
          -- ${_python} ${_peers}/http_proxy.py --max-lifetime 1800)
add_test(NAME notify_peers_stop
  COMMAND ${_python} ${_peers}/peerctl.py stop --state-dir ${_state})

set_tests_properties(notify_peers_push notify_peers_proxy PROPERTIES FIXTURES_SETUP notify_peers TIMEOUT 60)
set_tests_properties(notify_peers_stop PROPERTIES FIXTURES_CLEANUP notify_peers TIMEOUT 60)
set_property(TEST notify APPEND PROPERTY FIXTURES_REQUIRED notify_peers)
# The test program finds the ready files (ports) through this folder.
set_property(TEST notify APPEND PROPERTY ENVIRONMENT "UPTORRA_PEER_DIR=${_state}")
