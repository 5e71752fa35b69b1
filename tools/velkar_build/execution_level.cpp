#include "tools/velkar_build/execution_level.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace {

// Both texts fill the same width; XML allows the blanks between attributes.
const char AS_INVOKER[] = "level=\"asInvoker\"           ";
const char REQUIRE_ADMINISTRATOR[] = "level=\"requireAdministrator\"";
static_assert(sizeof AS_INVOKER == sizeof REQUIRE_ADMINISTRATOR, "the level keeps its slot's width");

}  // namespace

void requireAdministrator(Bytes& stub) {
    const size_t width = sizeof AS_INVOKER - 1;
    auto found = std::search(stub.begin(), stub.end(), AS_INVOKER, AS_INVOKER + width);
    if (found == stub.end() || std::search(found + 1, stub.end(), AS_INVOKER, AS_INVOKER + width) != stub.end())
        throw std::runtime_error(
            "the stub's manifest has no single asInvoker level to rewrite; give a bare stub of "
            "this version");
    std::memcpy(&*found, REQUIRE_ADMINISTRATOR, width);
}
