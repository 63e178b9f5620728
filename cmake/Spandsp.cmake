# Debian's spandsp (libspandsp-dev), the independent G.711 and OKI ADPCM
# implementation that the codec tests cross-check against and the codec
# benchmarks measure as their peer. Included wherever it is needed; the
# imported target spandsp::spandsp is made once, for the whole build.
if(NOT TARGET spandsp::spandsp)
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(SPANDSP REQUIRED IMPORTED_TARGET GLOBAL spandsp)
  add_library(spandsp::spandsp ALIAS PkgConfig::SPANDSP)
endif()
