// The identifiers declared in the interface definition, defined once for every
// binary that links this library.
#include <initguid.h>

#include "declshift_i.h"
