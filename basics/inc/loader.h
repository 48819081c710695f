#ifndef MV_LOADER_H
#define MV_LOADER_H

#include "mvexport.h"

#endif
