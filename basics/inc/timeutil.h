#ifndef MV_TIMEUTIL_H
#define MV_TIMEUTIL_H

#include "mvexport.h"

#endif
