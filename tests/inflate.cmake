# Our inflater's edges (the differential fuzz target, run with the others,
# holds it to zlib on random and real streams).
find_package(ZLIB REQUIRED)
velm_add_test(inflate_test SOURCES inflate_test.cpp LIBS velm_inflate ZLIB::ZLIB)
