// The texts live in the header as inline functions; this unit gives the
// library an object of its own for the icon resources to attach to.
#include "resources/Texts.h"
