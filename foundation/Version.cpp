#include "foundation/Version.h"

const char* UrdulexVersion() { return URDULEX_VERSION; }
