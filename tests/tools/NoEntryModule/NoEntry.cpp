// A shared library laid out as a bundle but without the VST3 entry points: hosts must refuse it.
extern "C" __attribute__((visibility("default"))) int NotAPlugin() { return 42; }
