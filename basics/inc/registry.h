#ifndef MV_REGISTRY_H
#define MV_REGISTRY_H

#include "mvexport.h"

#endif
