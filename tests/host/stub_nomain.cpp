// A loadable library that is not a VST 2 plug-in: it exports no `main`.
extern "C" __attribute__((visibility("default"))) int halvorineNotAnEffect() { return 42; }
