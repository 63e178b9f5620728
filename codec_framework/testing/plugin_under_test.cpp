#include "plugin_under_test.h"

#include "platform/dynlib/dynlib.h"

namespace Tessel::testing {

std::string TestLibrary(const std::string& file) {
    return (platform::dynlib::ProgramFolder() / "test-libs" / file).string();
}

}  // namespace Tessel::testing
