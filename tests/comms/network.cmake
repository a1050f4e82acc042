# Freed memory is overwritten at once (not kept in a per-thread cache), so
# that libgensio state used after it was freed fails the test, not by chance.
bootload_add_test_executable(network_tests
  SOURCES NetworkPortNameTest.cpp NetworkDeviceTest.cpp
  LIBRARIES bootload_comms bootload_test_pty bootload_test_core_main
  ENVIRONMENT "GLIBC_TUNABLES=glibc.malloc.tcache_count=0:glibc.malloc.perturb=165")
