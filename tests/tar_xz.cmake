# The solid format: its reader against what xz, GNU tar and bsdtar write at
# test time, and fmix zip --solid through it. Native only: the tools and
# liblzma are the host's.
if(NOT WIN32)
  velm_add_test(tar_xz_test SOURCES tar_xz_test.cpp test_files.cpp LIBS velm_tar_xz fmix_cli)
endif()
