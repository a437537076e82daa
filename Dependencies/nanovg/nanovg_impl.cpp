// NanoVG's core, compiled from the system package as C++.
#include "nanovg.c"
