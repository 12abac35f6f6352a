// Compiled only by the layer check: a window or tharnvik-cli source that
// reached for the transport.
#include "D2XXUnit.h"
