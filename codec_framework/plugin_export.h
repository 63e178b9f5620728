// The one export of every codec plug-in: CreateCodecFactory.
//
// Each plug-in defines it once, with C linkage and default visibility
// (everything else in a plug-in is hidden and its version script exports
// nothing more):
//
//   extern "C" TESSEL_EXPORT Tessel::ICodecFactory* CreateCodecFactory() {
//       return Tessel::NewObject<CCodecFactory>();
//   }
//
// Every call makes a new factory with count 1; the caller releases it. The
// library's load and unload do no work of their own.
#pragma once

#include "interfaces.h"

#define TESSEL_EXPORT __attribute__((visibility("default")))

namespace Tessel {
// What a host looks up by name (platform::dynlib::Symbol).
using CreateCodecFactoryFn = ICodecFactory* (*)();
inline constexpr const char* kCreateCodecFactoryName = "CreateCodecFactory";
}  // namespace Tessel

extern "C" TESSEL_EXPORT Tessel::ICodecFactory* CreateCodecFactory();
