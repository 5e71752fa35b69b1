// The execution level that the stub's manifest asks Windows for.
#pragma once

#include "tools/velkar_build/builder.h"

// Rewrites the manifest's level="asInvoker" in place to
// level="requireAdministrator", in the blanks the stub keeps behind it, so
// that no offset or size in the image changes. Throws std::runtime_error when
// the stub does not hold that slot exactly once.
void requireAdministrator(Bytes& stub);
