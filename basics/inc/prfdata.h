#ifndef MV_PRFDATA_H
#define MV_PRFDATA_H

#include "mvexport.h"

#endif
