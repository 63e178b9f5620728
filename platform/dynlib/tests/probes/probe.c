/* A library for the loader's tests: it answers which build of it was loaded. */
__attribute__((visibility("default"))) int DynlibProbeAnswer(void) { return PROBE_ANSWER; }
