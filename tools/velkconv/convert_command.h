// velkconv SOURCE SOURCE_CODE TARGET TARGET_CODE: one conversion through
// VelkCodec's entry points, the way the player converts -- started with
// cvt_VelkCodec, its progress polled until 100, ended with cvt_StopConvert --
// but written under a temporary name and renamed to TARGET only when whole
// (temporary_target.h). SIGINT, SIGTERM, SIGHUP and SIGPIPE stop it after
// its current frame and leave no TARGET.
#pragma once

#include <cstdint>

namespace velkconv {

// Prints the library's result line and the progress; 0 converted, 1 refused,
// failed or stopped, 3 VelkCodec could not be loaded.
int Convert(const char* source, int32_t sourceCode, const char* target, int32_t targetCode);

}  // namespace velkconv
