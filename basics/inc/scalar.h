#ifndef MV_SCALAR_H
#define MV_SCALAR_H

#include "mvexport.h"

#endif
