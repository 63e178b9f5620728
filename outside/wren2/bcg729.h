// Debian's bcg729 headers for C++ code: they declare C functions without
// an extern "C" guard of their own, so every C++ user includes them here.
#pragma once

extern "C" {
#include <bcg729/decoder.h>
#include <bcg729/encoder.h>
}
