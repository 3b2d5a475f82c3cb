// A port library file that reaches up into a service object: the layer check
// must refuse it. Never compiled; it exists only as the check's bad example.
#include "printer/PropertyTables.h"
