# Tests of the setup's identity (the resources fmix setup writes into its copy
# of the stub) and of the signature check, which only the Linux builds make.
velm_add_test(fmix_identity_test SOURCES fmix_identity_test.cpp test_files.cpp LIBS fmix_image)
target_compile_definitions(fmix_identity_test PRIVATE
  SHIPPED_STUB="${VELM_SHIPPED_DIR}/bin/launcher.exe")
if(NOT WIN32)
  velm_add_test(authenticode_test SOURCES authenticode_test.cpp test_files.cpp LIBS fmix_image)
endif()
