/* A library that loads but is no codec plug-in: it lacks CreateCodecFactory. */
__attribute__((visibility("default"))) int NotACodec(void) { return 42; }
