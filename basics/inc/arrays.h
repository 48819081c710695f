#ifndef MV_ARRAYS_H
#define MV_ARRAYS_H

#include "mvexport.h"

#endif
